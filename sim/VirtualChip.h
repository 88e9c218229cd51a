// A virtual Propeller 1 on a pseudo-terminal: the boot loader model behind the chip's end of
// the line, with the line's own faults (no chip, an echoing line, a line that is unplugged).
// Paced, the line carries the link rate in real time (PacedLine) around the same models.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sim/BootLoader.h"
#include "sim/ChipSettings.h"
#include "sim/CogImageRunner.h"
#include "sim/EepromStore.h"
#include "sim/ImageRunner.h"
#include "sim/PacedLine.h"
#include "sim/PtyLine.h"

namespace qkl::sim {

class VirtualChip {
 public:
  // Throws std::runtime_error (or std::system_error) when the EEPROM file or the pseudo-terminal
  // cannot be had. Without a `runner`, loaded images run on the cog emulator unless the settings
  // turn that off. With a ROM directory in the settings, the ROM's boot loader runs on the
  // emulator in place of the boot loader model.
  VirtualChip(const ChipSettings& settings, const ChipLog& log, ImageRunner* runner = nullptr);
  ~VirtualChip();
  VirtualChip(const VirtualChip&) = delete;
  VirtualChip& operator=(const VirtualChip&) = delete;

  // The path the host opens.
  const std::string& SlavePath() const { return line_.SlavePath(); }
  // Serves the line until Stop is called.
  void Run();
  // Ends Run; safe from any thread and from a signal handler.
  void Stop();
  struct HostExchange {
    std::string bytes;  // every byte the host sent after one reset, as it came on the wire
    TimePoint firstByteAt{};
  };
  // The bytes since the last reset after which the host sent any: a host that opens the port
  // again (and so resets the chip) without sending leaves the earlier exchange here.
  HostExchange LastExchange() const;

 private:
  bool HostBytesWaiting(short masterEvents) const;
  TimePoint ArrivalOf(bool waiting, TimePoint woke, std::optional<TimePoint> wake) const;
  void ServeMaster(TimePoint arrival);
  void OnReset();
  void TakeHostBytes(std::string bytes, TimePoint at);
  uint32_t CarriedRate() const;
  void TakeOnPacedLine(const std::string& bytes);
  void DeliverArrivedBytes(TimePoint now);
  void SendToHost(const std::string& bytes, TimePoint at);
  void SendCaughtUp(TimePoint now);
  bool EmulatorRuns() const;
  std::optional<TimePoint> NextWake(TimePoint now) const;
  void Note(const std::string& line) const;
  bool RomBoots() const { return !settings_.romDirectory.empty(); }

  const ChipSettings settings_;
  ChipLog log_;
  EepromStore eeprom_;
  std::unique_ptr<CogImageRunner> emulator_;
  PtyLine line_;
  BootLoader boot_;
  std::unique_ptr<PacedLine> paced_;  // only when the line carries the link rate in real time
  // The rate the host set, read once each time the line wakes rather than for every byte.
  uint32_t hostRate_ = 0;
  int hostStopBits_ = 1;
  // The last moment the line was seen without host bytes: those found later came after it.
  TimePoint quietAt_{};
  int stopPipe_[2] = {-1, -1};
  mutable std::mutex exchangeLock_;
  HostExchange current_;
  HostExchange previous_;
};

}  // namespace qkl::sim
