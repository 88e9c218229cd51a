#include "frontend/Options.h"

#include "frontend/Arguments.h"
#include "frontend/Console.h"
#include "frontend/Integer.h"
#include "frontend/OptionScanner.h"
#include "frontend/Texts.h"

TRunSettings RunSettings;

namespace {

const std::string OptionString = "hp:d:ftlv::u";

void SetProgramMode() {
  RunSettings.ProgramMode = StrToInt(OptionArgument);
  if (RunSettings.ProgramMode < 1 || RunSettings.ProgramMode > 3) {
    PrintLine("Load mode must be between 1 & 3");
    ExitWith(1);
  }
}

[[noreturn]] void ShowVersion() {
  if (OptionArgument == "n")
    PrintLine(VersionText);
  else
    PrintBanner();
  ExitWith(0);
}

void ActOn(char Option) {
  switch (Option) {
    case 'h':
    case '?':
      PrintUsage();
      ExitWith(1);
    case 'd': RunSettings.PortName = OptionArgument; break;
    case 'f': RunSettings.HighSpeed = true; break;
    case 'l': RunSettings.DetectionTest = true; break;
    case 't': RunSettings.FileListTest = true; break;
    case 'u': RunSettings.ReadBack = true; break;
    case 'p': SetProgramMode(); break;
    case 'v': ShowVersion();
    default: break;
  }
}

}  // namespace

void ParseOptions() {
  RunSettings = TRunSettings{};
  for (char Option = NextOption(OptionString); Option != EndOfOptions;
       Option = NextOption(OptionString))
    ActOn(Option);
  if (OptionIndex <= ArgumentCount()) RunSettings.FileName = Argument(OptionIndex);
  if (RunSettings.PortName.empty()) RunSettings.PortName = DefaultPortName;
}
