// A host byte as the chip's receive pin sees it: 8N1 framing, the line idling high. Bit time 0
// is the start bit, 1 to 8 the data bits (least significant first), 9 the stop bit.
#pragma once

#include <array>
#include <cstdint>

namespace qkl::sim {

struct LowPulse {
  int start;  // bit time at which the line falls
  int width;  // bit times it stays low
};

// At most five low runs fit before the stop bit: start bit and every other data bit low.
struct BytePulses {
  std::array<LowPulse, 5> pulse{};
  int count = 0;
};

BytePulses LowPulsesOf(uint8_t byte);

// The byte the host's UART receives when the chip drives its transmit pin low at a fall of the
// receive pin, to `bit` when the receive pin rises again (`lowWidth` bit times later) and high at
// the next fall (`nextFall` bit times after the first). A stop bit that reads low is a framing
// error, which a POSIX serial port delivers as 0x00.
uint8_t AnsweredByte(int lowWidth, long nextFall, int bit);

}  // namespace qkl::sim
