// What the port tests look at behind TBlockSerial's public face: the device descriptor, the
// bytes buffered between reads, and the decoding of line error flags, which no
// pseudo-terminal raises.
#pragma once

#include <cstdint>
#include <string>

#include "serial/BlockSerial.h"

struct TBlockSerialTestSeam {
  static std::intptr_t Handle(const TBlockSerial& Port) { return Port.FHandle; }
  static const std::string& LineBuffer(const TBlockSerial& Port) { return Port.FLineBuffer; }
  static void DecodeLineErrors(TBlockSerial& Port, uint32_t Flags) { Port.DecodeLineErrors(Flags); }
};
