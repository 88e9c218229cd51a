// Every text qkl prints on standard output, and the reasons it gives on standard error. Scripts
// read standard output: its texts stay as they have always been, oddities included.
#pragma once

#include <cstdint>
#include <string>

#include "frontend/Version.h"

class TConsole;

inline const std::string VersionText = QKL_VERSION_TEXT;

// The banner (with its fixed build stamp) and the usage text.
void PrintBanner(TConsole& Console);
void PrintUsage(TConsole& Console);

// The command line.
inline constexpr const char* ModeOutOfRangeText = "Load mode must be between 1 & 3";
inline constexpr const char* IllegalOptionText = ": illegal option -- ";
inline constexpr const char* MissingArgumentText = ": option requires an argument -- ";

// The load flow.
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

// An error no flow handles.
std::string UnhandledErrorText(const std::string& ClassName, const std::string& Message);
