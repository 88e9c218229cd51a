// Runs a loaded image (or, from a reset, the chip's own ROM) on the cog emulator, with the
// host's serial line on P31/P30 and the boot EEPROM (a 24LC256 on P28/P29, backed by the chip's
// EepromStore) wired to its pins.
//
// Time: the host's bytes are put on P31 back to back and the emulator runs as fast as it can
// through their bit times; while the line is idle, chip time follows the wall clock (CatchUp),
// so the program's own time-outs see the host's real pauses.
#pragma once

#include <memory>
#include <optional>

#include "sim/ChipSettings.h"
#include "sim/EepromStore.h"
#include "sim/ImageRunner.h"
#include "sim/cog/Chip.h"
#include "sim/devices/Board.h"
#include "sim/devices/I2cEeprom.h"
#include "sim/devices/SerialLine.h"

namespace sim {

class CogImageRunner : public ImageRunner {
public:
  CogImageRunner(const ChipSettings& Settings, EepromStore& Eeprom, ChipLog Log);
  ~CogImageRunner() override;

  void Launch(const HubRam& Ram) override;
  // The chip's own reset with its ROM: cog 0 runs the boot loader from the ROM in
  // Settings.RomDirectory, and the host's line and the EEPROM meet the real firmware. Throws
  // std::runtime_error when the ROM files cannot be read.
  void BootFromRom();
  std::string LineInput(std::string_view Bytes, uint32_t Baud, TimePoint At) override;
  void Halt() override;
  // A program or the ROM's boot loader is running.
  bool Runs() const { return Running; }
  // Runs the chip up to the wall clock while the host is quiet; returns what it sent meanwhile.
  std::string CatchUp(TimePoint Now);

private:
  void PowerUp(const std::string& RomDirectory);
  std::string Megahertz() const;
  void AttachLine(uint32_t Baud);
  void RunToSeconds(double Seconds);
  void FollowWallClock(TimePoint At);
  void PutOnLine(std::string_view Bytes, TimePoint At);
  std::string TakeAnswers();
  void NoteFirstAnswer();
  void StopProgram(const std::string& Reason);
  void ReportTiming();
  void Note(const std::string& Line) const;

  const ChipSettings Settings;
  EepromStore& Eeprom;
  ChipLog Log;

  HubBytes EepromBytes{};
  std::unique_ptr<qkl::cog::Chip> Chip;
  std::unique_ptr<qkl::devices::Board> Board;
  std::unique_ptr<qkl::devices::I2cEeprom> Rom;
  std::unique_ptr<qkl::devices::SerialLine> Line;
  uint32_t LineBaud = 0;
  bool Running = false;
  bool ClockStopNoted = false;
  long AnswersSent = 0;
  // Chip time at which a loaded image was started (not set while the ROM runs).
  std::optional<double> LaunchedAt;
  double EmulatedSeconds = 0;
  Duration EmulationWall{};
  // The chip time and wall time at which the host's last bytes were through.
  TimePoint WallMark{};
  double ChipMark = 0;
};

}  // namespace sim
