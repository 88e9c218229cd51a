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
#include <vector>

#include "sim/ChipSettings.h"
#include "sim/EepromStore.h"
#include "sim/ImageRunner.h"
#include "sim/cog/Chip.h"
#include "sim/devices/Board.h"
#include "sim/devices/I2cEeprom.h"
#include "sim/devices/SerialLine.h"

namespace qkl::sim {

class CogImageRunner : public ImageRunner {
 public:
  CogImageRunner(const ChipSettings& settings, EepromStore& eeprom, ChipLog log);
  ~CogImageRunner() override;

  void Launch(const HubRam& ram) override;
  // The chip's own reset with its ROM: cog 0 runs the boot loader from the ROM in
  // settings.romDirectory, and the host's line and the EEPROM meet the real firmware. Throws
  // std::runtime_error when the ROM files cannot be read.
  void BootFromRom();
  std::string LineInput(std::string_view bytes, uint32_t baud, TimePoint at) override;
  void Halt() override;
  // A program or the ROM's boot loader is running.
  bool Runs() const { return running_; }
  // Runs the chip up to the wall clock while the host is quiet, taking up the rate the host has
  // set (0: not a standard rate, the line keeps its own); returns what it sent meanwhile, and in
  // `startedAt` the wall time at which each byte's start bit began, by chip time.
  std::string CatchUp(TimePoint now, uint32_t baud, std::vector<TimePoint>& startedAt);
  // The stop bits of the host's frames (1 or 2), taken up with its next rate.
  void SetHostStopBits(int stopBits) { hostStopBits_ = stopBits; }

 private:
  void PowerUp(const std::string& romDirectory);
  static std::string Megahertz(double hz);
  void AttachLine(uint32_t baud);
  void FollowHostRate(uint32_t baud);
  void RunToSeconds(double seconds);
  void FollowWallClock(TimePoint at);
  void PutOnLine(std::string_view bytes, TimePoint at);
  std::string WithFaults(std::string_view bytes);
  std::string TakeAnswers(std::vector<TimePoint>* startedAt = nullptr);
  void NoteFirstAnswer();
  void StopProgram(const std::string& reason);
  void ReportTiming();
  void Note(const std::string& line) const;

  const ChipSettings settings_;
  EepromStore& eeprom_;
  ChipLog log_;

  HubBytes eepromBytes_{};
  std::unique_ptr<qkl::cog::Chip> chip_;
  std::unique_ptr<qkl::devices::Board> board_;
  std::unique_ptr<qkl::devices::I2cEeprom> rom_;
  std::unique_ptr<qkl::devices::SerialLine> line_;
  uint32_t lineBaud_ = 0;
  int lineStopBits_ = 1;
  int hostStopBits_ = 1;
  bool running_ = false;
  bool clockStopNoted_ = false;
  long answersSent_ = 0;
  long programBytes_ = 0;  // host bytes that reached the image since its start
  // Chip time at which a loaded image was started (not set while the ROM runs).
  std::optional<double> launchedAt_;
  double emulatedSeconds_ = 0;
  Duration emulationWall_{};
  // The chip time and wall time at which the host's last bytes were through.
  TimePoint wallMark_{};
  double chipMark_ = 0;
};

}  // namespace qkl::sim
