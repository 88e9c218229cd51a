// Protocol state shared by every link object of the process. Only one link object may talk
// to a chip at a time.
#pragma once

#include <chrono>
#include <cstdint>

#include "link/StreamEncoder.h"

using TLinkClock = std::chrono::steady_clock;

// Set by every successful OpenPort: true above 115200 baud, where the encoder separates
// consecutive longs by an extra high bit time.
inline bool HighSpeedEncoding = false;
// Time-out of each reply byte, set by the operation that reads the replies.
inline int32_t ReplyTimeoutMs = 0;
// The moment the last reset pulse ended (or the read-back's sync phase ended); DelayMs
// measures from it.
inline TLinkClock::time_point ResetMark{};
// The one stream encoder of the process.
inline TStreamEncoder StreamEncoder;
