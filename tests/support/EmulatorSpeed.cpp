#include "tests/support/EmulatorSpeed.h"

#include <chrono>
#include <cstdio>

#include "sim/cog/Chip.h"
#include "sim/devices/Board.h"
#include "tests/support/RomFolder.h"

namespace simtest {

namespace {
constexpr double ProbeSeconds = 0.1;
// Emulated seconds per second of the machine below which the ROM's answers may come too late
// for the host: the emulator also pauses for the line and the host's own work.
constexpr double LeastSpeed = 1.5;
}  // namespace

std::string WhyNoRealTime(double ClockMhz) {
  if (!EmulatorKeepsUpWithTheHost) return SlowEmulator;
  if (std::string Why = WhyNoRom(); !Why.empty()) return Why;
  qkl::cog::Chip Emulated({.clock = {.rcFastHz = ClockMhz * 1e6}, .romDirectory = RomFolder()});
  qkl::devices::Board Board(Emulated);
  const auto Start = std::chrono::steady_clock::now();
  Board.RunFor(ProbeSeconds);
  const double Took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  const double Speed = ProbeSeconds / Took;
  if (Speed >= LeastSpeed) return {};
  char Reason[200];
  std::snprintf(Reason, sizeof Reason,
                "the emulator runs the ROM at %.0f MHz only %.2f times real time on this machine "
                "now (%.1f needed to meet qkl's fixed limits)",
                ClockMhz, Speed, LeastSpeed);
  return Reason;
}

}  // namespace simtest
