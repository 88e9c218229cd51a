// The read-back round trip at the ends of the internal clock's range, at both link rates.
#include "tests/e2e/ReadBackRoundTrip.h"

namespace e2e {

INSTANTIATE_TEST_SUITE_P(AtTheEndsOfTheClockRange, ReadBackRoundTrip,
                         ::testing::Values(ClockAndRate{8, false}, ClockAndRate{8, true}, ClockAndRate{20, false},
                                           ClockAndRate{20, true}),
                         ClockAndRateName);

}  // namespace e2e
