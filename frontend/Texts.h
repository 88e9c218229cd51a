// Every text qkl prints: on standard output, and on standard error its reasons and its progress
// line. Scripts read standard output: its texts stay as they have always been, oddities
// included, and a comment says so where one is kept on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frontend/Version.h"

class TConsole;

inline const std::string VersionText = QKL_VERSION_TEXT;

// The banner (with its fixed build stamp) and the usage text.
void PrintBanner(TConsole& Console);
void PrintUsage(TConsole& Console);

// The command line. "1 & 3" and the getopt-style complaints as they have always read.
inline constexpr const char* ModeOutOfRangeText = "Load mode must be between 1 & 3";
inline constexpr const char* IllegalOptionText = ": illegal option -- ";
inline constexpr const char* MissingArgumentText = ": option requires an argument -- ";
// The message of the error a -p value that is no integer ends the run with (exit code 217).
std::string InvalidIntegerText(const std::string& Value);

// The load flow. The capital B of "Binary" and the "!" as they have always read.
inline constexpr const char* NoFileNameText =
    "No filename specified - will only try and find device";
inline constexpr const char* NoBinaryText = "Could not load Binary";
inline constexpr const char* BadChecksumText = "Binary Checksum Invalid!";
std::string ChipFoundText(int Version);

// The read-back flow.
std::string NoChipOnPortText(const std::string& Port);
std::string ReadFailedOnPortText(const std::string& Port);
std::string NotSavedText(const std::string& FileName);
inline constexpr const char* AllGoodText = "All good!";

// The test modes.
std::string UnreadableListEntryText(const std::string& Name);
std::string DetectionStatisticsText(int32_t Attempts, int32_t Failures);
std::string FileListStatisticsText(int32_t Files, int32_t Dud, int32_t DetectFailures,
                                   int32_t LoadErrors);

// An error no flow handles. Kept as scripts have always read it: "exception", and class names
// such as EInOutError (frontend/Errors.h).
std::string UnhandledErrorText(const std::string& ClassName, const std::string& Message);
// The class name when the error carries no type.
inline constexpr const char* UnknownErrorClassText = "unknown";

// Standard error: why a port could not be opened (Hint may be empty), and a reset the adapter
// refused; Reason is the system's text.
std::string PortOpenFailureText(const std::string& Port, const std::string& Reason,
                                const std::string& Hint);
std::string RefusedResetText(const std::string& Port, const std::string& Reason);

// The progress line on standard error: the test modes' attempt, then the link's stage.
std::string DetectionAttemptText(int32_t Attempt, int32_t Attempts);
std::string FileAttemptText(int32_t File);
std::string AttemptWithStageText(const std::string& Attempt, const std::string& Stage);
std::string LoadingRamText(uint32_t Done, uint32_t Total);
std::string ReadingEepromText(uint32_t Done, uint32_t Total);
// A wait for the chip and how long it has lasted.
std::string WaitText(const std::string& What, double Seconds);
inline constexpr const char* VerifyingRamWaitText = "verifying RAM";
inline constexpr const char* ProgrammingEepromWaitText = "programming EEPROM";
inline constexpr const char* VerifyingEepromWaitText = "verifying EEPROM";
inline constexpr const char* StartingReaderWaitText = "starting the reader";
