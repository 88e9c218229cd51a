// The two boot loaders a virtual chip can run: the chip's own ROM on the cog emulator, or the
// boot loader model. Scenarios that run on both show where they agree.
#pragma once

#include <string>

#include "sim/ChipSettings.h"
#include "tests/e2e/ReadBackRun.h"

namespace e2e {

enum class LoaderKind { Rom, Model };

extern const char* const RomDirectory;

std::string LoaderName(LoaderKind Kind);
// Why a test of this loader cannot run here (no ROM files, or an emulator too slow for the
// host's reply limits); empty when it can.
std::string SkipReason(LoaderKind Kind);
// A chip whose EEPROM lives in EepromPath, on the given RC clock, booting with that loader.
sim::ChipSettings LoaderChip(LoaderKind Kind, const std::string& EepromPath, double ClockMhz);

}  // namespace e2e
