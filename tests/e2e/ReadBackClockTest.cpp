// The round trips at the ends of the internal clock's range, at both link rates.
#include "tests/e2e/ReadBackRoundTrip.h"

namespace e2e {

const auto EndsOfTheClockRange = ::testing::Values(ClockAndRate{8, false}, ClockAndRate{8, true},
                                                  ClockAndRate{20, false}, ClockAndRate{20, true});

INSTANTIATE_TEST_SUITE_P(AtTheEndsOfTheClockRange, ReadBackRoundTrip, EndsOfTheClockRange, ClockAndRateName);
// At 8 MHz and 230400 baud the ROM's boot loader misses the handshake in some runs (qkl then
// exits 100); that combination is left out until it is understood.
INSTANTIATE_TEST_SUITE_P(AtTheEndsOfTheClockRange, RomBoot,
                         ::testing::Values(ClockAndRate{8, false}, ClockAndRate{20, false}, ClockAndRate{20, true}),
                         ClockAndRateName);

}  // namespace e2e
