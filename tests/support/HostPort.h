// The host side of the virtual chip's line, as a serial port user opens it: raw, at a rate, and
// flushed (which resets the chip) unless it is opened plainly, as a terminal program does.
#pragma once

#include <termios.h>

#include <chrono>
#include <string>

namespace simtest {

class HostPort {
public:
  enum class Opening { Flushed, Plain };
  HostPort(const std::string& Path, speed_t Rate, Opening How = Opening::Flushed);
  ~HostPort();
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  bool IsOpen() const { return Fd >= 0; }
  void Write(const std::string& Bytes);
  // Reads until Count bytes came or nothing arrives for Quiet.
  std::string Read(std::size_t Count,
                   std::chrono::milliseconds Quiet = std::chrono::milliseconds(500));

private:
  int Fd;
};

}  // namespace simtest
