// Waiting until a port has sent what was written to it, within a bound.
#pragma once

#include <cstdint>

#include "serial/SerialPort.h"

// The time Bytes need on a line of Baud bits a second, FrameBits for each byte, rounded up.
std::chrono::milliseconds LineTime(int32_t Bytes, uint32_t Baud, uint32_t FrameBits);

// The device's own drain (tcdrain, FlushFileBuffers) has no time limit and waits forever on a
// line that never empties: flow control held off, a stalled adapter. So the output count is
// polled instead, for the time the bytes queued at the start need on the line plus AllowanceMs;
// ErrTimeout when they have not all left by then.
TPortResult DrainOutput(TSerialPort& Port, int32_t AllowanceMs, uint32_t Baud, uint32_t FrameBits);
