#include "frontend/Options.h"

#include "frontend/Console.h"
#include "frontend/Defaults.h"
#include "frontend/ExitCodes.h"
#include "frontend/Integer.h"
#include "frontend/OptionScanner.h"
#include "frontend/Texts.h"

namespace {

const std::string OptionString = "hp:d:ftlv::u";

std::optional<int> SetProgramMode(TRunSettings& Settings, const std::string& Value,
                                  TConsole& Console) {
  Settings.ProgramMode = StrToInt(Value);
  if (Settings.ProgramMode >= 1 && Settings.ProgramMode <= 3) return std::nullopt;
  Console.PrintLine(ModeOutOfRangeText);
  return ExitUsage;
}

int ShowVersion(const std::string& Value, TConsole& Console) {
  if (Value == "n")
    Console.PrintLine(VersionText);
  else
    PrintBanner(Console);
  return ExitDone;
}

// The exit code when the option ends the run.
std::optional<int> ActOn(char Option, const std::string& Value, TRunSettings& Settings,
                         TConsole& Console) {
  switch (Option) {
    case 'h':
    case '?': PrintUsage(Console); return ExitUsage;
    case 'd': Settings.PortName = Value; break;
    case 'f': Settings.HighSpeed = true; break;
    case 'l': Settings.DetectionTest = true; break;
    case 't': Settings.FileListTest = true; break;
    case 'u': Settings.ReadBack = true; break;
    case 'p': return SetProgramMode(Settings, Value, Console);
    case 'v': return ShowVersion(Value, Console);
    default: break;
  }
  return std::nullopt;
}

}  // namespace

TParsedOptions ParseOptions(TOptionScanner& Scanner, TConsole& Console) {
  TParsedOptions Parsed;
  for (char Option = Scanner.Next(OptionString, Console.Out); Option != EndOfOptions;
       Option = Scanner.Next(OptionString, Console.Out)) {
    Parsed.Exit = ActOn(Option, Scanner.OptionArgument(), Parsed.Settings, Console);
    if (Parsed.Exit) return Parsed;
  }
  if (Scanner.Index() <= Scanner.ArgumentCount())
    Parsed.Settings.FileName = Scanner.Argument(Scanner.Index());
  if (Parsed.Settings.PortName.empty()) Parsed.Settings.PortName = DefaultPortName;
  return Parsed;
}
