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

namespace sim {

class BootLoader {
public:
  BootLoader(const ChipSettings& Settings, EepromStore& Eeprom, ChipLog Log,
             ImageRunner* Runner = nullptr);

  // The end of a reset pulse: the chip starts its boot loader afresh.
  void Reset(TimePoint At);
  // Bytes from the host at the given link rate; returns the bytes the chip sends back.
  std::string HostBytes(std::string_view Bytes, uint32_t Baud, TimePoint At);
  // Lets a time limit that passed without host bytes take effect.
  void AdvanceTo(TimePoint Now);
  // When the next time limit runs out, if one is running.
  std::optional<TimePoint> NextDeadline() const { return Deadline; }

private:
  enum class Phase {
    Calibrating,
    HostBits,
    Handshake,
    Command,
    Count,
    Image,
    Verdict,
    Running,
    Stopped
  };
  enum class Stage { Ram, Program, Verify };
  enum class OnTimeout { BootFromEeprom, Shutdown };

  void Pulse(const LowPulse& Low, long Position, TimePoint At);
  void FollowLine(std::size_t Bytes, uint32_t Baud, TimePoint At);
  std::optional<int> MeasurePulse(const LowPulse& Low, long Position, double Busy);
  bool TakeBit(const LowPulse& Low, long Position, double Busy, int& Bit);
  bool TakeAnswerPulse(const LowPulse& Low, long Position, int& LowWidth, long& NextFall);
  void Calibrate(const LowPulse& Low, long Position);
  void CheckHostBit(int Bit, TimePoint At);
  void AnswerHandshake(int LowWidth, long NextFall, TimePoint At);
  void ReceiveLongBit(int Bit, TimePoint At);
  void LongReceived(TimePoint At);
  void FinishImage(TimePoint At);
  void AwaitVerdict(Stage Which, bool Pass, TimePoint ReadyAt);
  void VerdictPulse(const LowPulse& Low, long Position, TimePoint At);
  void VerdictSent(bool Sent, TimePoint At);
  void StartLong(Phase Which, TimePoint At);
  void Launch();
  void BootFromEeprom(const std::string& Reason);
  void Shutdown(const std::string& Reason);
  void Break(const std::string& Reason);
  void CheckTimeLimit(TimePoint At);
  void CheckLinkRate(uint32_t Baud);
  void SetTimeLimit(TimePoint At, Duration Limit, OnTimeout Action);
  bool Answer(uint8_t Byte, bool Verdict);
  bool Send(uint8_t Byte);
  void Note(const std::string& Line) const;

  const ChipSettings Settings;
  const BootTiming Timing;
  EepromStore& Eeprom;
  ChipLog Log;
  ImageRunner* Runner;

  Phase Current = Phase::Stopped;
  TimePoint ResetAt{};
  bool HostBytesSeen = false;
  uint32_t CycleBaud = 0;
  long BitClock = 0;  // bit times since the reset, counted over the host's bytes
  // The receive loop's view of the line: clocks from the reset to bit time 0 of BitClock, the
  // clocks a bit time lasts, and when the host's bytes so far are through.
  PulseMeter Meter;
  double LineOrigin = 0;
  double ClocksPerBit = 0;
  TimePoint LineFreeAt{};
  int FirstCalibration = 0;  // polls counted for the first calibration pulse
  int Threshold = 0;         // a pulse counted below it is a 1
  int Count = 0;             // pulses, bits or answers taken in the current phase
  ChipLfsr Lfsr;
  bool HaveFall = false;
  long FallAt = 0;
  int FallWidth = 0;
  uint32_t LongValue = 0;
  uint32_t Mode = 0;
  uint32_t LongCount = 0;
  uint32_t ImageIndex = 0;
  HubRam Ram;
  Stage VerdictStage = Stage::Ram;
  bool VerdictPass = false;
  TimePoint VerdictReadyAt{};
  bool VerdictSynced = false;
  int AnswerNumber = 0;
  int BytesSent = 0;
  int VerdictsSent = 0;
  std::optional<TimePoint> Deadline;
  OnTimeout DeadlineAction = OnTimeout::BootFromEeprom;
  std::string Reply;
};

}  // namespace sim
