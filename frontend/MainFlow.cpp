#include "frontend/Console.h"
#include "frontend/Flows.h"
#include "frontend/Options.h"
#include "frontend/Texts.h"

namespace {

constexpr uint32_t HighSpeedBaudRate = 230400;

// Every failure before the download ends the run before the chip is touched.
[[noreturn]] void RunLoadFlow(TPropeller& Link) {
  if (!RunSettings.FileName.empty()) {
    if (!Link.LoadFile(RunSettings.FileName)) {
      PrintLine("Could not load Binary");
      ExitWith(2);
    }
    if (!Link.ChecksumValid()) {
      PrintLine("Binary Checksum Invalid!");
      ExitWith(3);
    }
  }
  if (Link.FindPropeller(RunSettings.PortName) == 0) ExitWith(100);
  PrintLine("Propeller Version " + std::to_string(Link.Version()) + " Found!");
  if (Link.ImageValid() && !Link.LoadImage(static_cast<uint8_t>(RunSettings.ProgramMode))) {
    PrintLine(Link.LastError);
    ExitWith(1);
  }
  Link.ClosePort();
  ExitWith(0);
}

}  // namespace

std::unique_ptr<TPropeller> CreateLink() {
  auto Link = std::make_unique<TPropeller>();
  if (RunSettings.HighSpeed) Link->BaudRate = HighSpeedBaudRate;
  return Link;
}

void RunMainFlow() {
  PrintBanner();
  if (RunSettings.FileName.empty())
    PrintLine("No filename specified - will only try and find device");
  if (RunSettings.FileListTest || RunSettings.DetectionTest) {
    if (RunSettings.FileListTest)
      RunFileListTest(RunSettings.FileName);
    else
      RunDetectionTest();
    ExitWith(0);
  }
  const auto Link = CreateLink();
  if (RunSettings.ReadBack) RunReadBackFlow(*Link);
  RunLoadFlow(*Link);
}
