#include "frontend/Texts.h"

#include <cstdio>

#include "frontend/Console.h"
#include "frontend/Defaults.h"

// The banner's two lines are parted by CR LF; Windows' text-mode output makes that of a plain LF.
#ifdef _WIN32
constexpr const char* BannerLineBreak = "\n";
#else
constexpr const char* BannerLineBreak = "\r\n";
#endif

// The build stamp is fixed: it is part of the banner scripts have always read, not the time of
// this build (the version line says which build it is).
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
      // The "(Undocumented)" modes and, below, "Propellers EEPROM" as scripts have always read
      // them.
      "-t Test mode (Undocumented)",
      "-l Test mode (Undocumented)",
      "-h  - Show this help",
      // One line of the usage text, split to fit. NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
      "-u Read Propellers EEPROM into file <FileName> - WARNING will overwrite it if it exists "
      "with no prompt!",
  };
  for (const auto& Line : Lines) Console.PrintLine(Line);
}

std::string InvalidIntegerText(const std::string& Value) {
  return "\"" + Value + "\" is an invalid integer";
}

std::string ChipFoundText(int Version) {
  return "Propeller Version " + std::to_string(Version) + " Found!";
}

std::string NoChipOnPortText(const std::string& Port) {
  return "Unable to locate Propeller on Port (" + Port + ")";
}

std::string ReadFailedOnPortText(const std::string& Port) {
  return "Unable to read Propeller on Port (" + Port + ")";
}

std::string NotSavedText(const std::string& FileName) {
  return "Unable to save binary image to (" + FileName + ")";
}

std::string UnreadableListEntryText(const std::string& Name) { return "b " + Name; }

std::string DetectionStatisticsText(int32_t Attempts, int32_t Failures) {
  return "Tested " + std::to_string(Attempts) + " Detections with " + std::to_string(Failures) +
         " Detection failures";
}

std::string FileListStatisticsText(int32_t Files, int32_t Dud, int32_t DetectFailures,
                                   int32_t LoadErrors) {
  return "Tested " + std::to_string(Files) + " Files with " + std::to_string(Dud) +
         " Dud binaries, " + std::to_string(DetectFailures) + " Detection failures and " +
         std::to_string(LoadErrors) + " Load Errors";
}

std::string UnhandledErrorText(const std::string& ClassName, const std::string& Message) {
  return "An unhandled exception occurred: " + ClassName + ": " + Message;
}

std::string PortOpenFailureText(const std::string& Port, const std::string& Reason,
                                const std::string& Hint) {
  return "qkl: cannot open port " + Port + ": " + Reason + (Hint.empty() ? "" : "; " + Hint);
}

std::string RefusedResetText(const std::string& Port, const std::string& Reason) {
  return "qkl: could not reset the chip on " + Port + ": the adapter refused DTR: " + Reason;
}

std::string DetectionAttemptText(int32_t Attempt, int32_t Attempts) {
  return "detection " + std::to_string(Attempt) + " of " + std::to_string(Attempts);
}

std::string FileAttemptText(int32_t File) {
  return "file " + std::to_string(File) + " of the list";
}

std::string AttemptWithStageText(const std::string& Attempt, const std::string& Stage) {
  return Attempt + (!Attempt.empty() && !Stage.empty() ? ": " : "") + Stage;
}

std::string LoadingRamText(uint32_t Done, uint32_t Total) {
  return "loading RAM " + std::to_string(Done) + " of " + std::to_string(Total) + " longs (" +
         std::to_string(Total > 0 ? uint64_t{Done} * 100 / Total : 100) + "%)";
}

std::string ReadingEepromText(uint32_t Done, uint32_t Total) {
  return "reading EEPROM " + std::to_string(Done) + " KB of " + std::to_string(Total);
}

std::string WaitText(const std::string& What, double Seconds) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1f s", Seconds);
  return What + " " + Text;
}
