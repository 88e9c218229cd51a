// Whether this build's cog emulator runs fast enough for the host's reply limits.
#pragma once

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

}  // namespace simtest
