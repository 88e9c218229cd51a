// Whether the cog emulator runs fast enough for the host's reply limits: in this build, and on
// this machine as loaded as it is now.
#pragma once

#include <string>

namespace simtest {

// The sanitized build's emulator runs at about real time: too slow for answers that must reach
// the host within its reply limits. Tests that need them skip there.
#ifdef QKL_SANITIZED_BUILD
inline constexpr bool EmulatorKeepsUpWithTheHost = false;
#else
inline constexpr bool EmulatorKeepsUpWithTheHost = true;
#endif
inline constexpr const char* SlowEmulator =
    "the emulator of this build runs at about real time, too slow to answer the host within its "
    "reply limits; the default build runs this test";

// Empty when the emulator runs the chip's ROM at ClockMhz well ahead of real time here and now
// (measured over a tenth of a second of the boot loader's work); otherwise why a test that
// needs the ROM in real time against qkl's fixed limits cannot run (also when the ROM is not
// there).
std::string WhyNoRealTime(double ClockMhz);

}  // namespace simtest
