// The boot handshake's 8-bit linear-feedback shift register (taps 7, 5, 4 and 1).
#pragma once

#include <cstdint>

inline constexpr uint8_t LfsrSeed = 0x50;  // 'P'

// One step: gives bit 0 as the output bit, then shifts left and feeds the parity of the taps
// (taken before the shift) into bit 0.
inline uint8_t StepShiftRegister(uint8_t& State) {
  const uint8_t Output = State & 1;
  const uint8_t Feedback = ((State >> 7) ^ (State >> 5) ^ (State >> 4) ^ (State >> 1)) & 1;
  State = static_cast<uint8_t>((State << 1) | Feedback);
  return Output;
}
