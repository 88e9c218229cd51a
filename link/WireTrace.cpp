#include "link/WireTrace.h"

#include <cstdio>

namespace {

constexpr std::size_t BytesPerLine = 32;

std::string Header(const std::string& PortName, std::chrono::microseconds SinceReset) {
  char Time[32];
  std::snprintf(Time, sizeof Time, " %+.3f ms ", static_cast<double>(SinceReset.count()) / 1000.0);
  return PortName + Time;
}

}  // namespace

void TWireTrace::Bytes(const std::string& PortName, std::chrono::microseconds SinceReset,
                       TDirection Direction, std::string_view Data) {
  static constexpr char Digits[] = "0123456789abcdef";
  const std::string Start =
      Header(PortName, SinceReset) + (Direction == TDirection::Sent ? "tx" : "rx");
  std::string Text;
  for (std::size_t At = 0; At < Data.size(); ++At) {
    if (At % BytesPerLine == 0) Text += (At ? "\n" : "") + Start;
    const auto Byte = static_cast<unsigned char>(Data[At]);
    Text += {' ', Digits[Byte >> 4], Digits[Byte & 0xF]};
  }
  if (Text.empty()) return;
  const std::lock_guard Lock(Guard);
  Out << Text << '\n' << std::flush;
}

void TWireTrace::Event(const std::string& PortName, std::chrono::microseconds SinceReset,
                       std::string_view Text) {
  const std::lock_guard Lock(Guard);
  Out << Header(PortName, SinceReset) << "-- " << Text << '\n' << std::flush;
}
