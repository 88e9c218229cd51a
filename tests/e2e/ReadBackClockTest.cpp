// The round trips at the ends of the internal clock's range, at both link rates.
#include "tests/e2e/ReadBackRoundTrip.h"

namespace e2e {

const auto EndsOfTheClockRange = ::testing::Values(ClockAndRate{8, false}, ClockAndRate{8, true},
                                                   ClockAndRate{20, false}, ClockAndRate{20, true});

INSTANTIATE_TEST_SUITE_P(AtTheEndsOfTheClockRange, ReadBackRoundTrip, EndsOfTheClockRange,
                         ClockAndRateName);
INSTANTIATE_TEST_SUITE_P(AtTheEndsOfTheClockRange, RomBoot, EndsOfTheClockRange, ClockAndRateName);

}  // namespace e2e
