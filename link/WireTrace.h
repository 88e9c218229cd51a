// TWireTrace: every byte a link session sends and receives, with its direction and its time from
// the reset, as text lines for a report from the field. One trace may serve several sessions at
// once (a probe of many ports); their lines carry the port's name and never interleave.
#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

class TWireTrace {
public:
  explicit TWireTrace(std::ostream& Out) : Out(Out) {}

  enum class TDirection { Sent, Received };
  // Lines of up to 32 bytes in hexadecimal: "<port> +<ms> ms tx|rx <bytes>".
  void Bytes(const std::string& PortName, std::chrono::microseconds SinceReset,
             TDirection Direction, std::string_view Data);
  // An event on the line, such as the reset: "<port> +<ms> ms -- <text>".
  void Event(const std::string& PortName, std::chrono::microseconds SinceReset,
             std::string_view Text);

private:
  std::mutex Guard;
  std::ostream& Out;
};
