// Fixed texts of the tool: banner, version, usage.
#pragma once

#include <string>

#include "frontend/Version.h"

class TConsole;

inline const std::string VersionText = QKL_VERSION_TEXT;

void PrintBanner(TConsole& Console);
void PrintUsage(TConsole& Console);
