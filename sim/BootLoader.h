// The Propeller 1 ROM boot loader as the host meets it on the serial line, written from the
// chip's side: it reads protocol bits from the widths of the low pulses on its receive pin,
// checks the host's 250 shift-register bits, answers with the next 250 and its version byte,
// takes a command, a long count and the image longs, and answers the verdict polls.
//
// The line has no transmission time here: every byte of a read arrives at the moment it was
// read, so the chip's time limits measure only the host's own pauses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/BootTiming.h"
#include "sim/ChipLfsr.h"
#include "sim/ChipSettings.h"
#include "sim/EepromStore.h"
#include "sim/HubRam.h"
#include "sim/ImageRunner.h"
#include "sim/LinePulses.h"

namespace qkl::sim {

class BootLoader {
 public:
  BootLoader(const ChipSettings& settings, EepromStore& eeprom, ChipLog log,
             ImageRunner* runner = nullptr);

  // The end of a reset pulse: the chip starts its boot loader afresh.
  void Reset(TimePoint at);
  // Bytes from the host at the given link rate; returns the bytes the chip sends back.
  std::string HostBytes(std::string_view bytes, uint32_t baud, TimePoint at);
  // Lets a time limit that passed without host bytes take effect.
  void AdvanceTo(TimePoint now);
  // When the next time limit runs out, if one is running.
  std::optional<TimePoint> NextDeadline() const { return deadline_; }

 private:
  enum class Phase {
    kCalibrating,
    kHostBits,
    kHandshake,
    kCommand,
    kCount,
    kImage,
    kVerdict,
    kLaunching,
    kRunning,
    kStopped
  };
  enum class Stage { kRam, kProgram, kVerify };
  enum class OnTimeout { kBootFromEeprom, kShutdown, kLaunch };

  void Pulse(const LowPulse& low, long position, TimePoint at);
  void FollowLine(std::size_t bytes, uint32_t baud, TimePoint at);
  bool NoiseAnswers(bool busy);
  std::optional<int> MeasurePulse(const LowPulse& low, long position, double busy);
  bool TakeBit(const LowPulse& low, long position, double busy, int& bit);
  bool TakeAnswerPulse(const LowPulse& low, long position, int& lowWidth, long& nextFall);
  void Calibrate(const LowPulse& low, long position);
  void CheckHostBit(int bit, TimePoint at);
  void AnswerHandshake(int lowWidth, long nextFall, TimePoint at);
  void ReceiveLongBit(int bit, TimePoint at);
  void LongReceived(TimePoint at);
  void FinishImage(TimePoint at);
  void AwaitVerdict(Stage which, bool pass, TimePoint readyAt);
  void VerdictPulse(const LowPulse& low, long position, TimePoint at);
  void VerdictSent(bool sent, TimePoint at);
  void Program(TimePoint at);
  void StartLong(Phase which, TimePoint at);
  void Launch(TimePoint at);
  void Start();
  void BootFromEeprom(const std::string& reason, TimePoint at);
  void Shutdown(const std::string& reason);
  void Break(const std::string& reason);
  void CheckTimeLimit(TimePoint at);
  void CheckLinkRate(uint32_t baud);
  void SetTimeLimit(TimePoint at, Duration limit, OnTimeout action);
  bool Answer(uint8_t byte, bool verdict);
  bool Send(uint8_t byte);
  void Note(const std::string& line) const;

  const ChipSettings settings_;
  const BootTiming timing_;
  EepromStore& eeprom_;
  ChipLog log_;
  ImageRunner* runner_;

  Phase current_ = Phase::kStopped;
  TimePoint resetAt_{};
  bool hostBytesSeen_ = false;
  uint32_t cycleBaud_ = 0;
  long bitClock_ = 0;  // bit times since the reset, counted over the host's bytes
  // The receive loop's view of the line: clocks from the reset to bit time 0 of bitClock_, the
  // clocks a bit time lasts, and when the host's bytes so far are through.
  PulseMeter meter_;
  double lineOrigin_ = 0;
  double clocksPerBit_ = 0;
  TimePoint lineFreeAt_{};
  int firstCalibration_ = 0;  // polls counted for the first calibration pulse
  int threshold_ = 0;         // a pulse counted below it is a 1
  int count_ = 0;             // pulses, bits or answers taken in the current phase
  ChipLfsr lfsr_;
  bool haveFall_ = false;
  long fallAt_ = 0;
  int fallWidth_ = 0;
  uint32_t longValue_ = 0;
  uint32_t mode_ = 0;
  uint32_t longCount_ = 0;
  uint32_t imageIndex_ = 0;
  HubRam ram_;
  Stage verdictStage_ = Stage::kRam;
  bool verdictPass_ = false;
  TimePoint verdictReadyAt_{};
  bool noiseOwed_ = false;  // the noise fault's first poll not yet answered
  bool verdictSynced_ = false;
  int answerNumber_ = 0;
  int bytesSent_ = 0;
  int verdictsSent_ = 0;
  std::optional<TimePoint> deadline_;
  OnTimeout deadlineAction_ = OnTimeout::kBootFromEeprom;
  std::string reply_;
};

}  // namespace qkl::sim
