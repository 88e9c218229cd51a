#include "frontend/Console.h"
#include "frontend/Flows.h"
#include "frontend/Options.h"
#include "frontend/Texts.h"

namespace {

constexpr uint32_t HighSpeedBaudRate = 230400;

// Every failure before the download ends the run before the chip is touched.
int RunLoadFlow(TPropeller& Link, TConsole& Console) {
  if (!RunSettings.FileName.empty()) {
    if (!Link.LoadFile(RunSettings.FileName)) {
      Console.PrintLine("Could not load Binary");
      return 2;
    }
    if (!Link.ChecksumValid()) {
      Console.PrintLine("Binary Checksum Invalid!");
      return 3;
    }
  }
  const uint8_t Version = Link.FindPropeller(RunSettings.PortName);
  Console.ReportPortTrouble(Link, RunSettings.PortName);
  if (Version == 0) return 100;
  Console.PrintLine("Propeller Version " + std::to_string(Link.Version()) + " Found!");
  if (Link.ImageValid() && !Link.LoadImage(static_cast<uint8_t>(RunSettings.ProgramMode))) {
    Console.PrintLine(Link.LastError());
    return 1;
  }
  Link.ClosePort();
  return 0;
}

}  // namespace

std::unique_ptr<TPropeller> CreateLink(TConsole& Console) {
  auto Link = std::make_unique<TPropeller>(Console.Out, Console.LinkHooks(), Console.NewPort());
  if (RunSettings.HighSpeed) Link->SetBaudRate(HighSpeedBaudRate);
  return Link;
}

int RunMainFlow(TConsole& Console) {
  PrintBanner(Console);
  if (RunSettings.FileName.empty())
    Console.PrintLine("No filename specified - will only try and find device");
  if (RunSettings.FileListTest || RunSettings.DetectionTest) {
    if (RunSettings.FileListTest)
      RunFileListTest(RunSettings.FileName, Console);
    else
      RunDetectionTest(Console);
    return 0;
  }
  const auto Link = CreateLink(Console);
  if (RunSettings.ReadBack) return RunReadBackFlow(*Link, Console);
  return RunLoadFlow(*Link, Console);
}
