// Fixed bytes and counts of the boot protocol, shared by detection and read-back.
#pragma once

#include <cstddef>
#include <cstdint>

// The byte that calibrates the chip's bit timing (a 1 then a 0) and, sent alone, clocks one
// reply bit out of the chip.
inline constexpr uint8_t PollByte = 0xF9;
// Shift-register bits the host sends in a handshake, and that the chip sends back.
inline constexpr int HandshakeBits = 250;
// One window for each of the chip's 250 answer bits and the 8 bits of its version.
inline constexpr std::size_t AnswerWindows = 258;
