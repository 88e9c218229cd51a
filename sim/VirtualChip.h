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

namespace sim {

class VirtualChip {
public:
  // Throws std::runtime_error (or std::system_error) when the EEPROM file or the pseudo-terminal
  // cannot be had. Without a Runner, loaded images run on the cog emulator unless the settings
  // turn that off. With a ROM directory in the settings, the ROM's boot loader runs on the
  // emulator in place of the boot loader model.
  VirtualChip(const ChipSettings& Settings, const ChipLog& Log, ImageRunner* Runner = nullptr);
  ~VirtualChip();
  VirtualChip(const VirtualChip&) = delete;
  VirtualChip& operator=(const VirtualChip&) = delete;

  // The path the host opens.
  const std::string& SlavePath() const { return Line.SlavePath(); }
  // Serves the line until Stop is called.
  void Run();
  // Ends Run; safe from any thread and from a signal handler.
  void Stop();
  struct HostExchange {
    std::string Bytes;  // every byte the host sent after one reset, as it came on the wire
    TimePoint FirstByteAt{};
  };
  // The bytes since the last reset after which the host sent any: a host that opens the port
  // again (and so resets the chip) without sending leaves the earlier exchange here.
  HostExchange LastExchange() const;

private:
  void ServeMaster();
  void OnReset();
  void TakeHostBytes(std::string Bytes, TimePoint At);
  uint32_t CarriedRate() const;
  void TakeOnPacedLine(const std::string& Bytes);
  void DeliverArrivedBytes(TimePoint Now);
  void SendToHost(const std::string& Bytes, TimePoint At);
  bool EmulatorRuns() const;
  std::optional<TimePoint> NextWake(TimePoint Now) const;
  void Note(const std::string& Line) const;
  bool RomBoots() const { return !Settings.RomDirectory.empty(); }

  const ChipSettings Settings;
  ChipLog Log;
  EepromStore Eeprom;
  std::unique_ptr<CogImageRunner> Emulator;
  PtyLine Line;
  BootLoader Boot;
  std::unique_ptr<PacedLine> Paced;  // only when the line carries the link rate in real time
  int StopPipe[2] = {-1, -1};
  mutable std::mutex ExchangeLock;
  HostExchange Current;
  HostExchange Previous;
};

}  // namespace sim
