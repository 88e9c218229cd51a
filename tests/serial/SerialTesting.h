// Steps the port tests share, on a pseudo-terminal pair.
#pragma once

#include <chrono>
#include <cstdint>

#include "serial/BlockSerial.h"
#include "tests/support/PtyPair.h"

// Opens Pair's slave on Port and configures it as the link does (8N1, no flow control).
void OpenConfigured(TBlockSerial& Port, const TPtyPair& Pair, int32_t Baud = 115200);

// Polls until Port has Count bytes queued; false when they do not come within a second.
bool WaitQueued(TBlockSerial& Port, int32_t Count);

using TClock = std::chrono::steady_clock;
int64_t MsSince(TClock::time_point Start);
