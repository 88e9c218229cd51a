#include "frontend/Texts.h"

#include "frontend/Console.h"
#include "frontend/Options.h"

// The banner's two lines are parted by CR LF; Windows' text-mode output makes that of a plain LF.
#ifdef _WIN32
constexpr const char* BannerLineBreak = "\n";
#else
constexpr const char* BannerLineBreak = "\r\n";
#endif

void PrintBanner(TConsole& Console) {
  Console.PrintLine("Orlas Quillkit Loader v" + VersionText + BannerLineBreak +
                    "Compiled for i386 Win32 at 13:24:16 on 2010/04/28");
}

void PrintUsage(TConsole& Console) {
  const std::string Lines[] = {
      "Program Usage :- qkl (Options) <FileName>",
      "-d <filename> - Serial device to use (Default " + std::string(DefaultPortName) + ")",
      "-p [123] - Program Mode",
      "    1 - Ram only (Default)",
      "    2 - Eeprom and shutdown",
      "    3 - Eeprom and Run",
      "-f Load at high speed",
      "-t Test mode (Undocumented)",
      "-l Test mode (Undocumented)",
      "-h  - Show this help",
      // One line of the usage text, split to fit. NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
      "-u Read Propellers EEPROM into file <FileName> - WARNING will overwrite it if it exists "
      "with no prompt!",
  };
  for (const auto& Line : Lines) Console.PrintLine(Line);
}
