#include "sim/BootLoader.h"

#include <cstdio>

namespace sim {

namespace {

constexpr int HandshakeBits = 250;
constexpr int VersionBits = 8;
constexpr int LongBits = 32;
constexpr int BitTimesPerByte = 10;
constexpr uint16_t ImagePbase = 0x0010;

const char* StageName(int Which) {
  static const char* const Names[] = {"RAM checksum", "EEPROM programming", "EEPROM verify"};
  return Names[Which];
}

std::string Hex(unsigned Value, int Digits) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%0*X", Digits, Value);
  return Text;
}

double Milliseconds(Duration Span) {
  return std::chrono::duration<double, std::milli>(Span).count();
}

}  // namespace

BootLoader::BootLoader(const ChipSettings& Settings, EepromStore& Eeprom, ChipLog Log,
                       ImageRunner* Runner)
    : Settings(Settings),
      Timing(BootTiming::For(Settings)),
      Eeprom(Eeprom),
      Log(std::move(Log)),
      Runner(Runner) {}

void BootLoader::Note(const std::string& Line) const {
  if (Log) Log(Line);
}

void BootLoader::Reset(TimePoint At) {
  if (Current == Phase::Running && Runner) Runner->Halt();
  Current = Phase::Calibrating;
  ResetAt = At;
  CycleBaud = 0;
  BitClock = 0;
  Meter.Idle();
  LineFreeAt = At;
  Count = 0;
  Lfsr = ChipLfsr();
  HaveFall = false;
  AnswerNumber = 0;
  BytesSent = 0;
  VerdictsSent = 0;
  HostBytesSeen = false;
  SetTimeLimit(At, Timing.HostWindow, OnTimeout::BootFromEeprom);
  Note("reset");
}

std::string BootLoader::HostBytes(std::string_view Bytes, uint32_t Baud, TimePoint At) {
  Reply.clear();
  if (!HostBytesSeen) {
    HostBytesSeen = true;
    char Text[64];
    std::snprintf(Text, sizeof Text, "host bytes begin %.1f ms after reset",
                  Milliseconds(At - ResetAt));
    Note(Text);
  }
  CheckTimeLimit(At);
  CheckLinkRate(Baud);
  FollowLine(Bytes.size(), Baud, At);
  for (std::size_t Index = 0; Index < Bytes.size(); ++Index) {
    if (Current == Phase::Running) {
      if (Runner) Reply += Runner->LineInput(Bytes.substr(Index), Baud, At);
      break;
    }
    const bool Busy = Current == Phase::Verdict && At < VerdictReadyAt;
    if (Busy && Settings.Faults.NoiseWhileBusy == static_cast<int>(VerdictStage) + 1)
      Send(GarbageByte);
    if (!Busy) {
      const BytePulses Lows = LowPulsesOf(static_cast<uint8_t>(Bytes[Index]));
      for (int Which = 0; Which < Lows.Count; ++Which)
        Pulse(Lows.Pulse[Which], BitClock + Lows.Pulse[Which].Start, At);
    }
    BitClock += BitTimesPerByte;
  }
  return std::move(Reply);
}

// Bytes that come while earlier ones are still on the line follow them back to back; after an
// idle line the receive loop meets them wherever its polls happen to be.
void BootLoader::FollowLine(std::size_t Bytes, uint32_t Baud, TimePoint At) {
  if (!Baud) return;
  ClocksPerBit = Settings.ClockHz / Baud;
  if (At > LineFreeAt) {
    Meter.Idle();
    LineOrigin = std::chrono::duration<double>(At - ResetAt).count() * Settings.ClockHz -
                 BitClock * ClocksPerBit;
    LineFreeAt = At;
  }
  LineFreeAt += std::chrono::duration_cast<Duration>(
      std::chrono::duration<double>(Bytes * BitTimesPerByte / double(Baud)));
}

std::optional<int> BootLoader::MeasurePulse(const LowPulse& Low, long Position, double Busy) {
  const double Fall = LineOrigin + Position * ClocksPerBit;
  return Meter.Measure(Fall, Fall + Low.Width * ClocksPerBit, Busy);
}

void BootLoader::AdvanceTo(TimePoint Now) { CheckTimeLimit(Now); }

void BootLoader::CheckLinkRate(uint32_t Baud) {
  if (Baud == CycleBaud || Current == Phase::Running || Current == Phase::Stopped) return;
  CycleBaud = Baud;
  Note("link rate " + std::to_string(Baud) + " baud");
  if (Baud != 115200 && Baud != 230400)
    Break("link rate " + std::to_string(Baud) + " is not 115200 or 230400");
}

void BootLoader::SetTimeLimit(TimePoint At, Duration Limit, OnTimeout Action) {
  Deadline = At + Limit;
  DeadlineAction = Action;
}

void BootLoader::CheckTimeLimit(TimePoint At) {
  if (!Deadline || At <= *Deadline) return;
  if (DeadlineAction == OnTimeout::BootFromEeprom)
    BootFromEeprom("time limit passed while waiting for the host");
  else
    Shutdown("time limit passed while waiting to answer");
}

void BootLoader::Pulse(const LowPulse& Low, long Position, TimePoint At) {
  int Bit = 0;
  int LowWidth = 0;
  long NextFall = 0;
  switch (Current) {
    case Phase::Calibrating: Calibrate(Low, Position); break;
    case Phase::HostBits:
      if (TakeBit(Low, Position, PulseMeter::AfterHandshakeBit, Bit)) CheckHostBit(Bit, At);
      break;
    case Phase::Handshake:
      if (TakeAnswerPulse(Low, Position, LowWidth, NextFall))
        AnswerHandshake(LowWidth, NextFall, At);
      break;
    case Phase::Command:
    case Phase::Count:
    case Phase::Image:
      if (TakeBit(Low, Position,
                  Count == LongBits - 1 ? PulseMeter::AfterLong : PulseMeter::InsideLong, Bit))
        ReceiveLongBit(Bit, At);
      break;
    case Phase::Verdict: VerdictPulse(Low, Position, At); break;
    case Phase::Running:
    case Phase::Stopped: break;
  }
}

// A pulse counted below the threshold is a 1. The loop misses a pulse that ends before it polls
// for it. A pulse of other than one or two bit times means host and chip are out of step.
bool BootLoader::TakeBit(const LowPulse& Low, long Position, double Busy, int& Bit) {
  if (Low.Width != 1 && Low.Width != 2) {
    Break("low pulse of " + std::to_string(Low.Width) + " bit times");
    return false;
  }
  const std::optional<int> Polls = MeasurePulse(Low, Position, Busy);
  if (Polls) Bit = *Polls < Threshold ? 1 : 0;
  return Polls.has_value();
}

// Answering a bit takes two falls of the receive pin: the first starts the answer, the second
// ends it.
bool BootLoader::TakeAnswerPulse(const LowPulse& Low, long Position, int& LowWidth,
                                 long& NextFall) {
  if (!HaveFall) {
    HaveFall = true;
    FallAt = Position;
    FallWidth = Low.Width;
    return false;
  }
  HaveFall = false;
  LowWidth = FallWidth;
  NextFall = Position - FallAt;
  return true;
}

// The threshold is the mean of the polls counted for the two pulses of the host's 0xF9, rounded
// down.
void BootLoader::Calibrate(const LowPulse& Low, long Position) {
  const int Expected = Count == 0 ? 1 : 2;
  if (Low.Width != Expected) {
    Break("calibration pulse " + std::to_string(Count + 1) + " is " + std::to_string(Low.Width) +
          " bit times, not that of 0xF9");
    return;
  }
  const std::optional<int> Polls = MeasurePulse(
      Low, Position,
      Count == 0 ? PulseMeter::AfterFirstCalibration : PulseMeter::AfterSecondCalibration);
  if (!Polls) return;
  if (Count++ == 0) {
    FirstCalibration = *Polls;
    return;
  }
  Threshold = (FirstCalibration + *Polls) / 2;
  Count = 0;
  Current = Phase::HostBits;
}

void BootLoader::CheckHostBit(int Bit, TimePoint At) {
  ++Count;
  if (Bit != Lfsr.Next()) {
    BootFromEeprom("handshake bit " + std::to_string(Count) + " does not match");
    return;
  }
  if (Count < HandshakeBits) return;
  Note("handshake: 250 host bits match");
  Count = 0;
  Current = Phase::Handshake;
  SetTimeLimit(At, Timing.BitLimit, OnTimeout::Shutdown);
}

void BootLoader::AnswerHandshake(int LowWidth, long NextFall, TimePoint At) {
  int Bit = Count < HandshakeBits ? Lfsr.Next() : (Settings.Version >> (Count - HandshakeBits)) & 1;
  if (AnswerNumber + 1 == Settings.Faults.WrongAnswerAt) Bit ^= 1;
  Answer(AnsweredByte(LowWidth, NextFall, Bit), false);
  if (++Count < HandshakeBits + VersionBits) {
    SetTimeLimit(At, Timing.BitLimit, OnTimeout::Shutdown);
    return;
  }
  Note("handshake answered, version " + std::to_string(Settings.Version));
  StartLong(Phase::Command, At);
}

void BootLoader::StartLong(Phase Which, TimePoint At) {
  if (Which == Phase::Command) Meter.Idle();  // the answers follow the host's edges
  Current = Which;
  Count = 0;
  LongValue = 0;
  SetTimeLimit(At, Timing.BitLimit, OnTimeout::BootFromEeprom);
}

void BootLoader::ReceiveLongBit(int Bit, TimePoint At) {
  LongValue |= static_cast<uint32_t>(Bit) << Count;
  if (++Count == LongBits) LongReceived(At);
}

void BootLoader::LongReceived(TimePoint At) {
  switch (Current) {
    case Phase::Command:
      Mode = LongValue;
      Note("mode " + std::to_string(Mode));
      if (Mode == 0 || Mode >= 4) {
        Shutdown("command " + std::to_string(Mode));
        return;
      }
      StartLong(Phase::Count, At);
      return;
    case Phase::Count:
      LongCount = LongValue;
      ImageIndex = 0;
      Note("long count " + std::to_string(LongCount));
      if (LongCount == 0) {
        FinishImage(At);
        return;
      }
      StartLong(Phase::Image, At);
      return;
    default:
      Ram.StoreLong(ImageIndex, LongValue);
      if (++ImageIndex == LongCount) {
        FinishImage(At);
        return;
      }
      StartLong(Phase::Image, At);
  }
}

void BootLoader::FinishImage(TimePoint At) {
  Ram.FinishDownload(LongCount);
  const uint8_t Sum = Ram.ByteSum();
  Note("image longs received " + std::to_string(ImageIndex) + ", RAM byte sum " + Hex(Sum, 2));
  AwaitVerdict(Stage::Ram, Sum == 0 && !Settings.Faults.FailRam, At + Timing.RamVerdict);
}

// The chip answers no poll until it has its verdict. Then it waits for a poll's long pulse and
// answers on the poll after it.
void BootLoader::AwaitVerdict(Stage Which, bool Pass, TimePoint ReadyAt) {
  Current = Phase::Verdict;
  VerdictStage = Which;
  VerdictPass = Pass;
  VerdictReadyAt = ReadyAt;
  VerdictSynced = false;
  HaveFall = false;
  SetTimeLimit(ReadyAt, Timing.BitLimit, OnTimeout::Shutdown);
}

void BootLoader::VerdictPulse(const LowPulse& Low, long Position, TimePoint At) {
  int Bit = 0;
  if (!VerdictSynced) {
    VerdictSynced = TakeBit(Low, Position, PulseMeter::AfterSkippedPoll, Bit) && Bit == 0;
    if (VerdictSynced) SetTimeLimit(At, Timing.BitLimit, OnTimeout::Shutdown);
    return;
  }
  int LowWidth = 0;
  long NextFall = 0;
  if (!TakeAnswerPulse(Low, Position, LowWidth, NextFall)) return;
  const bool Sent = Answer(AnsweredByte(LowWidth, NextFall, VerdictPass ? 0 : 1), true);
  Meter.Idle();  // the answer follows the host's edges
  VerdictSent(Sent, At);
}

void BootLoader::VerdictSent(bool Sent, TimePoint At) {
  ++VerdictsSent;
  Note(std::string("verdict ") + StageName(static_cast<int>(VerdictStage)) +
       (VerdictPass ? " pass" : " fail") + (Sent ? "" : " (not sent)"));
  if (!VerdictPass) {
    Shutdown(std::string(StageName(static_cast<int>(VerdictStage))) + " failed");
    return;
  }
  switch (VerdictStage) {
    case Stage::Ram:
      if (Mode == 1) {
        Launch();
        return;
      }
      {
        const bool Written = !Settings.Faults.FailProgram && !Settings.Faults.NoEeprom &&
                             Eeprom.Program(Ram.Bytes());
        Note(Written ? "EEPROM programmed" : "EEPROM programming failed");
        AwaitVerdict(Stage::Program, Written, At + Timing.Programming);
      }
      return;
    case Stage::Program:
      AwaitVerdict(Stage::Verify, !Settings.Faults.FailVerify && Eeprom.ReadBack() == Ram.Bytes(),
                   At + Timing.Verifying);
      return;
    case Stage::Verify:
      if (Mode == 2) {
        Shutdown("EEPROM written in mode 2");
        return;
      }
      Launch();
  }
}

void BootLoader::Launch() {
  Deadline.reset();
  if (Ram.Word(6) != ImagePbase) {
    Shutdown("pbase is " + Hex(Ram.Word(6), 4) + ", not 0x0010");
    return;
  }
  Current = Phase::Running;
  Note(Runner ? "program starts" : "program would start here (no program runner attached)");
  if (Runner) Runner->Launch(Ram);
}

void BootLoader::BootFromEeprom(const std::string& Reason) {
  if (Settings.Faults.NoEeprom) {
    Shutdown(Reason + ", and no EEPROM answers");
    return;
  }
  Note(Reason + ": boots from EEPROM");
  Ram.Assign(Eeprom.ReadBack());
  Launch();
}

void BootLoader::Shutdown(const std::string& Reason) {
  Note(Reason + ": shuts down");
  Current = Phase::Stopped;
  Deadline.reset();
}

void BootLoader::Break(const std::string& Reason) {
  Note(Reason + ": the exchange breaks off");
  Current = Phase::Stopped;
  Deadline.reset();
}

bool BootLoader::Answer(uint8_t Byte, bool Verdict) {
  const ChipFaults& Faults = Settings.Faults;
  ++AnswerNumber;
  if (Faults.GarbageFrom > 0 && AnswerNumber >= Faults.GarbageFrom) Byte = GarbageByte;
  if (Verdict && Faults.SilentAfterVerdict >= 0 && VerdictsSent >= Faults.SilentAfterVerdict)
    return false;
  return Send(Byte);
}

bool BootLoader::Send(uint8_t Byte) {
  if (Settings.Faults.StopAfterBytes >= 0 && BytesSent >= Settings.Faults.StopAfterBytes)
    return false;
  ++BytesSent;
  Reply += static_cast<char>(Byte);
  return true;
}

}  // namespace sim
