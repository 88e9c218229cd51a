// The end of a test program's run on the chip's serial line: the bytes 0xFF 0x00 and a status,
// the convention of the Propeller's unit-test libraries. Everything before them is the
// program's output.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class TStatusBytes {
public:
  // Appends to Shown the bytes of Received that are output, and gives the status once the three
  // bytes are complete (what follows them is not looked at). A 0xFF, or 0xFF 0x00, at the end of
  // Received is held back until the next bytes show what it is.
  std::optional<int> Take(std::string_view Received, std::string& Shown);

private:
  std::string Held;  // the beginning of the three bytes, as far as it has come
};
