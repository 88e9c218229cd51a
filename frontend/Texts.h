// Fixed texts of the tool: banner, version, usage.
#pragma once

#include <string>

inline const std::string VersionText = "0.07-pre1";

void PrintBanner();
void PrintUsage();
