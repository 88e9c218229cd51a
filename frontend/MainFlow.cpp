#include "frontend/Console.h"
#include "frontend/ExitCodes.h"
#include "frontend/Flows.h"
#include "frontend/Links.h"
#include "frontend/Texts.h"

namespace {

// Every failure before the download ends the run before the chip is touched.
int RunLoadFlow(TPropeller& Link, const TRunSettings& Settings, TConsole& Console) {
  if (!Settings.FileName.empty()) {
    if (!Link.LoadFile(Settings.FileName)) {
      Console.PrintLine(NoBinaryText);
      return ExitNoBinary;
    }
    if (!Link.ChecksumValid()) {
      Console.PrintLine(BadChecksumText);
      return ExitBadChecksum;
    }
  }
  if (DetectChip(Link, Settings, Console) == 0) return ExitNoChip;
  Console.PrintLine(ChipFoundText(Link.Version()));
  if (Link.ImageValid() && !Link.LoadImage(static_cast<uint8_t>(Settings.ProgramMode))) {
    Console.PrintLine(Link.LastError());
    return ExitLoadFailed;
  }
  Link.ClosePort();
  return ExitDone;
}

}  // namespace

int RunMainFlow(const TRunSettings& Settings, TConsole& Console) {
  PrintBanner(Console);
  if (Settings.FileName.empty()) Console.PrintLine(NoFileNameText);
  if (Settings.FileListTest || Settings.DetectionTest) {
    if (Settings.FileListTest)
      RunFileListTest(Settings, Console);
    else
      RunDetectionTest(Settings, Console);
    return ExitDone;
  }
  const auto Link = CreateLink(Settings, Console);
  if (Settings.ReadBack) return RunReadBackFlow(*Link, Settings, Console);
  return RunLoadFlow(*Link, Settings, Console);
}
