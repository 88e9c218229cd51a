#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "frontend/Console.h"
#include "frontend/Errors.h"
#include "frontend/Flows.h"
#include "frontend/Links.h"
#include "frontend/Texts.h"

namespace {

constexpr int32_t DetectionAttempts = 1000;
constexpr uint8_t RamOnly = 1;

// Only a chip of version 1 counts as found here.
bool Detected(TPropeller& Link, const TRunSettings& Settings, TConsole& Console) {
  return DetectChip(Link, Settings, Console) == 1;
}

using TFileCloser = decltype(&std::fclose);

// The list file, or the console's input for an empty name; read line by line.
class TListFile {
public:
  TListFile(const std::string& Name, std::FILE* Input) : Owned(nullptr, &std::fclose) {
    if (Name.empty()) {
      Stream = Input;
      return;
    }
    Owned.reset(std::fopen(Name.c_str(), "r"));
    if (!Owned) throw EInOutError(std::strerror(errno));
    Stream = Owned.get();
  }
  TListFile(const TListFile&) = delete;
  TListFile& operator=(const TListFile&) = delete;

  // The next line without its line end (LF or CR LF); false at the end of the list.
  bool ReadLine(std::string& Text) {
    Text.clear();
    bool Any = false;
    for (int Ch = std::getc(Stream); Ch != EOF; Ch = std::getc(Stream)) {
      Any = true;
      if (Ch == '\n') break;
      Text.push_back(static_cast<char>(Ch));
    }
    if (std::ferror(Stream)) throw EInOutError(std::strerror(errno));
    if (!Any) return false;
    if (Text.ends_with('\r')) Text.pop_back();
    return true;
  }

private:
  std::unique_ptr<FILE, TFileCloser> Owned;
  FILE* Stream = nullptr;
};

struct TFileListCounts {
  int32_t Files = 0;
  int32_t Dud = 0;
  int32_t DetectFailures = 0;
  int32_t LoadErrors = 0;
};

// The image is checked before the chip is touched, so a bad entry costs no reset.
void TestOneFile(const std::string& Name, const TRunSettings& Settings, TFileListCounts& Counts,
                 TConsole& Console) {
  const auto Link = CreateLink(Settings, Console);
  if (!Link->LoadFile(Name)) {
    ++Counts.Dud;
    Console.PrintLine(UnreadableListEntryText(Name));
  } else if (!Link->ChecksumValid()) {
    ++Counts.Dud;
    Console.PrintMark('B');
  } else if (!Detected(*Link, Settings, Console)) {
    ++Counts.DetectFailures;
    Console.PrintMark('d');
  } else if (!Link->LoadImage(RamOnly)) {
    ++Counts.LoadErrors;
    Console.PrintMark('l');
  } else {
    Console.PrintMark('.');
  }
  Link->ClosePort();
}

}  // namespace

void RunDetectionTest(const TRunSettings& Settings, TConsole& Console) {
  int32_t Failures = 0;
  for (int32_t Attempt = 0; Attempt < DetectionAttempts; ++Attempt) {
    Console.Attempt(DetectionAttemptText(Attempt + 1, DetectionAttempts));
    const auto Link = CreateLink(Settings, Console);
    const bool Found = Detected(*Link, Settings, Console);
    if (!Found) ++Failures;
    Console.PrintMark(Found ? '.' : 'd');
    Link->ClosePort();
  }
  Console.PrintLine(DetectionStatisticsText(DetectionAttempts, Failures));
}

void RunFileListTest(const TRunSettings& Settings, TConsole& Console) {
  TListFile List(Settings.FileName, Console.In);
  TFileListCounts Counts;
  std::string Name;
  while (List.ReadLine(Name)) {
    ++Counts.Files;
    Console.Attempt(FileAttemptText(Counts.Files));
    TestOneFile(Name, Settings, Counts, Console);
  }
  Console.PrintLine(
      FileListStatisticsText(Counts.Files, Counts.Dud, Counts.DetectFailures, Counts.LoadErrors));
}
