#include "qkltool/StatusBytes.h"

namespace {
constexpr char Mark = '\xFF';
constexpr char Second = '\x00';
}  // namespace

std::optional<int> TStatusBytes::Take(std::string_view Received, std::string& Shown) {
  for (const char Byte : Received) {
    if (Held.size() == 2) return static_cast<unsigned char>(Byte);
    if (Held.empty() ? Byte == Mark : Byte == Second) {
      Held += Byte;
      continue;
    }
    Shown += Held;
    Held.clear();
    // A 0xFF that breaks a beginning may begin the three bytes itself.
    if (Byte == Mark)
      Held += Byte;
    else
      Shown += Byte;
  }
  return std::nullopt;
}
