// Small steps the link tests share.
#pragma once

#include <cstdint>

#include "link/Propeller.h"

namespace linktest {

// The error an image too long for the chip leaves, without touching the port: a test sets it
// to see that an operation leaves LastError alone.
inline constexpr const char* EarlierError = "Image longer than 32768 bytes";

inline void LeaveEarlierError(TPropeller& Link) {
  const uint32_t Count = Link.LongCount();
  Link.SetLongCount(ImageLongs + 1);
  Link.LoadImage(1);
  Link.SetLongCount(Count);
}

inline void FillImage(TPropeller& Link, uint8_t Byte) {
  for (std::size_t Index = 0; Index < ImageLongs; ++Index)
    Link.SetImageLong(Index, Byte * 0x01010101u);
}

}  // namespace linktest
