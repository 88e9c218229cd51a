// Fixed texts of the tool: banner, version, usage.
#pragma once

#include <string>

class TConsole;

inline const std::string VersionText = "0.07-pre1";

void PrintBanner(TConsole& Console);
void PrintUsage(TConsole& Console);
