#include <algorithm>
#include <fstream>

#include "link/Propeller.h"
#include "link/ReplaceFile.h"

namespace {
constexpr std::size_t VbaseOffset = 8;
constexpr std::size_t DbaseOffset = 10;
constexpr uint32_t StackMarker = 0xFFF9FFFF;
// The two marker longs lie just below dbase, above the 16-byte header (clock, checksum, pbase,
// vbase, dbase, pcurr, dcurr): a lower dbase would write them over the header itself.
constexpr uint32_t LowestDbase = 16;

std::string EepromFileName(const std::string& FileName) {
  std::string Upper = FileName;
  std::transform(Upper.begin(), Upper.end(), Upper.begin(),
                 [](char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; });
  return Upper.find(".EEPROM") == std::string::npos ? FileName + ".eeprom" : FileName;
}
}  // namespace

bool TPropeller::LoadFile(const std::string& FileName) {
  FImage.fill(0);
  std::ifstream File(FileName, std::ios::binary);
  if (!File) return false;
  File.read(reinterpret_cast<char*>(FImage.data()), static_cast<std::streamsize>(FImage.size()));
  // A short file ends the read early (eof); only a failure without reaching the end is one.
  return !File.bad() &&
         (File.gcount() == static_cast<std::streamsize>(FImage.size()) || File.eof());
}

bool TPropeller::ChecksumValid() {
  const uint32_t Vbase = FImage[VbaseOffset] | FImage[VbaseOffset + 1] << 8;
  const uint32_t Dbase = FImage[DbaseOffset] | FImage[DbaseOffset + 1] << 8;
  FLongCount = Vbase / 4;
  // Markers, summed range and long count must all lie inside the buffer.
  if (Dbase < LowestDbase || Dbase > ImageSize || Vbase > ImageSize) {
    FImageValid = false;
    return false;
  }
  const std::size_t TopLong = (Dbase - 4) / 4;
  SetImageLong(TopLong, StackMarker);
  SetImageLong(TopLong - 1, StackMarker);
  uint8_t Sum = 0;
  for (std::size_t At = 0; At < (TopLong + 1) * 4; ++At)
    Sum = static_cast<uint8_t>(Sum + FImage[At]);
  FImageValid = Sum == 0;
  return FImageValid;
}

bool TPropeller::SaveFile(const std::string& FileName) {
  return ReplaceFile(EepromFileName(FileName), FImage.data(), FImage.size());
}
