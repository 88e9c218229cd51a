#include "frontend/Options.h"

#include "frontend/Arguments.h"
#include "frontend/Console.h"
#include "frontend/Integer.h"
#include "frontend/OptionScanner.h"
#include "frontend/Texts.h"

TRunSettings RunSettings;

namespace {

const std::string OptionString = "hp:d:ftlv::u";

std::optional<int> SetProgramMode(TConsole& Console) {
  RunSettings.ProgramMode = StrToInt(OptionArgument);
  if (RunSettings.ProgramMode >= 1 && RunSettings.ProgramMode <= 3) return std::nullopt;
  Console.PrintLine("Load mode must be between 1 & 3");
  return 1;
}

int ShowVersion(TConsole& Console) {
  if (OptionArgument == "n")
    Console.PrintLine(VersionText);
  else
    PrintBanner(Console);
  return 0;
}

// The exit code when the option ends the run.
std::optional<int> ActOn(char Option, TConsole& Console) {
  switch (Option) {
    case 'h':
    case '?': PrintUsage(Console); return 1;
    case 'd': RunSettings.PortName = OptionArgument; break;
    case 'f': RunSettings.HighSpeed = true; break;
    case 'l': RunSettings.DetectionTest = true; break;
    case 't': RunSettings.FileListTest = true; break;
    case 'u': RunSettings.ReadBack = true; break;
    case 'p': return SetProgramMode(Console);
    case 'v': return ShowVersion(Console);
    default: break;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> ParseOptions(TConsole& Console) {
  RunSettings = TRunSettings{};
  for (char Option = NextOption(OptionString, Console.Out); Option != EndOfOptions;
       Option = NextOption(OptionString, Console.Out)) {
    if (const std::optional<int> Exit = ActOn(Option, Console)) return Exit;
  }
  if (OptionIndex <= ArgumentCount()) RunSettings.FileName = Argument(OptionIndex);
  if (RunSettings.PortName.empty()) RunSettings.PortName = DefaultPortName;
  return std::nullopt;
}
