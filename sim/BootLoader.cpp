#include "sim/BootLoader.h"

#include <algorithm>
#include <cstdio>

namespace qkl::sim {

namespace {

constexpr int kHandshakeBits = 250;
constexpr int kVersionBits = 8;
constexpr int kLongBits = 32;
constexpr int kBitTimesPerByte = 10;
constexpr uint16_t kImagePbase = 0x0010;
constexpr std::size_t kPageBytes = 64;

const char* StageName(int which) {
  static const char* const kNames[] = {"RAM checksum", "EEPROM programming", "EEPROM verify"};
  return kNames[which];
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

double Milliseconds(Duration span) {
  return std::chrono::duration<double, std::milli>(span).count();
}

}  // namespace

BootLoader::BootLoader(const ChipSettings& settings, EepromStore& eeprom, ChipLog log,
                       ImageRunner* runner)
    : settings_(settings),
      timing_(BootTiming::For(settings)),
      eeprom_(eeprom),
      log_(std::move(log)),
      runner_(runner) {}

void BootLoader::Note(const std::string& line) const {
  if (log_) log_(line);
}

void BootLoader::Reset(TimePoint at) {
  if (current_ == Phase::kRunning && runner_) runner_->Halt();
  current_ = Phase::kCalibrating;
  resetAt_ = at;
  cycleBaud_ = 0;
  bitClock_ = 0;
  meter_.Idle();
  lineFreeAt_ = at;
  count_ = 0;
  lfsr_ = ChipLfsr();
  haveFall_ = false;
  answerNumber_ = 0;
  bytesSent_ = 0;
  verdictsSent_ = 0;
  hostBytesSeen_ = false;
  SetTimeLimit(at, timing_.hostWindow, OnTimeout::kBootFromEeprom);
  Note("reset");
}

std::string BootLoader::HostBytes(std::string_view bytes, uint32_t baud, TimePoint at) {
  reply_.clear();
  if (!hostBytesSeen_) {
    hostBytesSeen_ = true;
    char text[64];
    std::snprintf(text, sizeof text, "host bytes begin %.1f ms after reset",
                  Milliseconds(at - resetAt_));
    Note(text);
  }
  CheckTimeLimit(at);
  CheckLinkRate(baud);
  FollowLine(bytes.size(), baud, at);
  for (std::size_t index = 0; index < bytes.size(); ++index) {
    if (current_ == Phase::kRunning) {
      if (runner_) reply_ += runner_->LineInput(bytes.substr(index), baud, at);
      break;
    }
    const bool busy = current_ == Phase::kVerdict && at < verdictReadyAt_;
    const bool noisy = NoiseAnswers(busy);
    if (noisy) Send(kGarbageByte);
    if (!busy && !noisy) {
      const BytePulses lows = LowPulsesOf(static_cast<uint8_t>(bytes[index]));
      for (int which = 0; which < lows.count; ++which)
        Pulse(lows.pulse[which], bitClock_ + lows.pulse[which].start, at);
    }
    bitClock_ += kBitTimesPerByte;
  }
  return std::move(reply_);
}

// With the noise fault on this verdict, every poll while the chip is busy is answered with noise,
// and the first poll in any case: a host that comes late to the verdict (its first poll after the
// chip's working time, as on a busy machine) meets the fault as well, instead of a clean verdict.
bool BootLoader::NoiseAnswers(bool busy) {
  if (current_ != Phase::kVerdict ||
      settings_.faults.noiseWhileBusy != static_cast<int>(verdictStage_) + 1)
    return false;
  if (!busy && !noiseOwed_) return false;
  noiseOwed_ = false;
  return true;
}

// Bytes that come while earlier ones are still on the line follow them back to back; after an
// idle line the receive loop meets them wherever its polls happen to be.
void BootLoader::FollowLine(std::size_t bytes, uint32_t baud, TimePoint at) {
  if (!baud) return;
  clocksPerBit_ = settings_.clockHz / baud;
  if (at > lineFreeAt_) {
    meter_.Idle();
    lineOrigin_ = std::chrono::duration<double>(at - resetAt_).count() * settings_.clockHz -
                  bitClock_ * clocksPerBit_;
    lineFreeAt_ = at;
  }
  lineFreeAt_ += std::chrono::duration_cast<Duration>(
      std::chrono::duration<double>(bytes * kBitTimesPerByte / double(baud)));
}

std::optional<int> BootLoader::MeasurePulse(const LowPulse& low, long position, double busy) {
  const double fall = lineOrigin_ + position * clocksPerBit_;
  return meter_.Measure(fall, fall + low.width * clocksPerBit_, busy);
}

void BootLoader::AdvanceTo(TimePoint now) { CheckTimeLimit(now); }

void BootLoader::CheckLinkRate(uint32_t baud) {
  if (baud == cycleBaud_ || current_ == Phase::kLaunching || current_ == Phase::kRunning ||
      current_ == Phase::kStopped)
    return;
  cycleBaud_ = baud;
  Note("link rate " + std::to_string(baud) + " baud");
  if (baud != 115200 && baud != 230400)
    Break("link rate " + std::to_string(baud) + " is not 115200 or 230400");
}

void BootLoader::SetTimeLimit(TimePoint at, Duration limit, OnTimeout action) {
  deadline_ = at + limit;
  deadlineAction_ = action;
}

void BootLoader::CheckTimeLimit(TimePoint at) {
  if (!deadline_ || at <= *deadline_) return;
  switch (deadlineAction_) {
    case OnTimeout::kBootFromEeprom:
      BootFromEeprom("time limit passed while waiting for the host", *deadline_);
      return;
    case OnTimeout::kShutdown: Shutdown("time limit passed while waiting to answer"); return;
    case OnTimeout::kLaunch: Start();
  }
}

void BootLoader::Pulse(const LowPulse& low, long position, TimePoint at) {
  int bit = 0;
  int lowWidth = 0;
  long nextFall = 0;
  switch (current_) {
    case Phase::kCalibrating: Calibrate(low, position); break;
    case Phase::kHostBits:
      if (TakeBit(low, position, PulseMeter::kAfterHandshakeBit, bit)) CheckHostBit(bit, at);
      break;
    case Phase::kHandshake:
      if (TakeAnswerPulse(low, position, lowWidth, nextFall))
        AnswerHandshake(lowWidth, nextFall, at);
      break;
    case Phase::kCommand:
    case Phase::kCount:
    case Phase::kImage:
      if (TakeBit(low, position,
                  count_ == kLongBits - 1 ? PulseMeter::kAfterLong : PulseMeter::kInsideLong, bit))
        ReceiveLongBit(bit, at);
      break;
    case Phase::kVerdict: VerdictPulse(low, position, at); break;
    case Phase::kLaunching:
    case Phase::kRunning:
    case Phase::kStopped: break;
  }
}

// A pulse counted below the threshold is a 1. The loop misses a pulse that ends before it polls
// for it. A pulse of other than one or two bit times means host and chip are out of step.
bool BootLoader::TakeBit(const LowPulse& low, long position, double busy, int& bit) {
  if (low.width != 1 && low.width != 2) {
    Break("low pulse of " + std::to_string(low.width) + " bit times");
    return false;
  }
  const std::optional<int> polls = MeasurePulse(low, position, busy);
  if (polls) bit = *polls < threshold_ ? 1 : 0;
  return polls.has_value();
}

// Answering a bit takes two falls of the receive pin: the first starts the answer, the second
// ends it.
bool BootLoader::TakeAnswerPulse(const LowPulse& low, long position, int& lowWidth,
                                 long& nextFall) {
  if (!haveFall_) {
    haveFall_ = true;
    fallAt_ = position;
    fallWidth_ = low.width;
    return false;
  }
  haveFall_ = false;
  lowWidth = fallWidth_;
  nextFall = position - fallAt_;
  return true;
}

// The threshold is the mean of the polls counted for the two pulses of the host's 0xF9, rounded
// down.
void BootLoader::Calibrate(const LowPulse& low, long position) {
  const int expected = count_ == 0 ? 1 : 2;
  if (low.width != expected) {
    Break("calibration pulse " + std::to_string(count_ + 1) + " is " + std::to_string(low.width) +
          " bit times, not that of 0xF9");
    return;
  }
  const std::optional<int> polls = MeasurePulse(
      low, position,
      count_ == 0 ? PulseMeter::kAfterFirstCalibration : PulseMeter::kAfterSecondCalibration);
  if (!polls) return;
  if (count_++ == 0) {
    firstCalibration_ = *polls;
    return;
  }
  threshold_ = (firstCalibration_ + *polls) / 2;
  count_ = 0;
  current_ = Phase::kHostBits;
}

void BootLoader::CheckHostBit(int bit, TimePoint at) {
  ++count_;
  if (bit != lfsr_.Next()) {
    BootFromEeprom("handshake bit " + std::to_string(count_) + " does not match", at);
    return;
  }
  if (count_ < kHandshakeBits) return;
  Note("handshake: 250 host bits match");
  count_ = 0;
  current_ = Phase::kHandshake;
  SetTimeLimit(at, timing_.bitLimit, OnTimeout::kShutdown);
}

void BootLoader::AnswerHandshake(int lowWidth, long nextFall, TimePoint at) {
  int bit =
      count_ < kHandshakeBits ? lfsr_.Next() : (settings_.version >> (count_ - kHandshakeBits)) & 1;
  if (answerNumber_ + 1 == settings_.faults.wrongAnswerAt) bit ^= 1;
  Answer(AnsweredByte(lowWidth, nextFall, bit), false);
  if (++count_ < kHandshakeBits + kVersionBits) {
    SetTimeLimit(at, timing_.bitLimit, OnTimeout::kShutdown);
    return;
  }
  Note("handshake answered, version " + std::to_string(settings_.version));
  StartLong(Phase::kCommand, at);
}

void BootLoader::StartLong(Phase which, TimePoint at) {
  if (which == Phase::kCommand) meter_.Idle();  // the answers follow the host's edges
  current_ = which;
  count_ = 0;
  longValue_ = 0;
  SetTimeLimit(at, timing_.bitLimit, OnTimeout::kBootFromEeprom);
}

void BootLoader::ReceiveLongBit(int bit, TimePoint at) {
  longValue_ |= static_cast<uint32_t>(bit) << count_;
  if (++count_ == kLongBits) LongReceived(at);
}

void BootLoader::LongReceived(TimePoint at) {
  switch (current_) {
    case Phase::kCommand:
      mode_ = longValue_;
      Note("mode " + std::to_string(mode_));
      if (mode_ == 0 || mode_ >= 4) {
        Shutdown("command " + std::to_string(mode_));
        return;
      }
      StartLong(Phase::kCount, at);
      return;
    case Phase::kCount:
      longCount_ = longValue_;
      imageIndex_ = 0;
      Note("long count " + std::to_string(longCount_));
      if (longCount_ == 0) {
        FinishImage(at);
        return;
      }
      StartLong(Phase::kImage, at);
      return;
    default:
      ram_.StoreLong(imageIndex_, longValue_);
      if (++imageIndex_ == longCount_) {
        FinishImage(at);
        return;
      }
      StartLong(Phase::kImage, at);
  }
}

void BootLoader::FinishImage(TimePoint at) {
  ram_.FinishDownload(longCount_);
  const uint8_t sum = ram_.ByteSum();
  Note("image longs received " + std::to_string(imageIndex_) + ", RAM byte sum " + Hex(sum, 2));
  AwaitVerdict(Stage::kRam, sum == 0 && !settings_.faults.failRam, at + timing_.ramVerdict);
}

// The chip answers no poll until it has its verdict. Then it waits for a poll's long pulse and
// answers on the poll after it.
void BootLoader::AwaitVerdict(Stage which, bool pass, TimePoint readyAt) {
  current_ = Phase::kVerdict;
  verdictStage_ = which;
  verdictPass_ = pass;
  verdictReadyAt_ = readyAt;
  noiseOwed_ = true;
  verdictSynced_ = false;
  haveFall_ = false;
  SetTimeLimit(readyAt, timing_.bitLimit, OnTimeout::kShutdown);
}

void BootLoader::VerdictPulse(const LowPulse& low, long position, TimePoint at) {
  int bit = 0;
  if (!verdictSynced_) {
    verdictSynced_ = TakeBit(low, position, PulseMeter::kAfterSkippedPoll, bit) && bit == 0;
    if (verdictSynced_) SetTimeLimit(at, timing_.bitLimit, OnTimeout::kShutdown);
    return;
  }
  int lowWidth = 0;
  long nextFall = 0;
  if (!TakeAnswerPulse(low, position, lowWidth, nextFall)) return;
  const bool sent = Answer(AnsweredByte(lowWidth, nextFall, verdictPass_ ? 0 : 1), true);
  meter_.Idle();  // the answer follows the host's edges
  VerdictSent(sent, at);
}

void BootLoader::VerdictSent(bool sent, TimePoint at) {
  ++verdictsSent_;
  Note(std::string("verdict ") + StageName(static_cast<int>(verdictStage_)) +
       (verdictPass_ ? " pass" : " fail") + (sent ? "" : " (not sent)"));
  if (!verdictPass_) {
    Shutdown(std::string(StageName(static_cast<int>(verdictStage_))) + " failed");
    return;
  }
  switch (verdictStage_) {
    case Stage::kRam:
      if (mode_ == 1) {
        Launch(at);
        return;
      }
      Program(at);
      return;
    case Stage::kProgram:
      AwaitVerdict(Stage::kVerify,
                   !settings_.faults.failVerify && eeprom_.ReadBack() == ram_.Bytes(),
                   at + timing_.verifying);
      return;
    case Stage::kVerify:
      if (mode_ == 2) {
        Shutdown("EEPROM written in mode 2");
        return;
      }
      Launch(at);
  }
}

void BootLoader::Program(TimePoint at) {
  const ChipFaults& faults = settings_.faults;
  if (faults.failProgram || faults.noEeprom) {
    Note("EEPROM programming failed");
    AwaitVerdict(Stage::kProgram, false, at + timing_.programming);
    return;
  }
  if (!timing_.pagesFit) {
    // The first page is written; the EEPROM is still busy with it when the tries of the next
    // page's write command run out.
    HubBytes kept = eeprom_.ReadBack();
    std::copy_n(ram_.Bytes().begin(), kPageBytes, kept.begin());
    if (!eeprom_.Program(kept)) Note("the EEPROM file could not be written");
    Note("EEPROM still busy with the first page after the loader's last try: programming failed");
    AwaitVerdict(Stage::kProgram, false, at + timing_.programmingFailure);
    return;
  }
  const bool written = eeprom_.Program(ram_.Bytes());
  Note(written ? "EEPROM programmed" : "EEPROM programming failed");
  AwaitVerdict(Stage::kProgram, written, at + timing_.programming);
}

void BootLoader::Launch(TimePoint at) {
  deadline_.reset();
  if (ram_.Word(6) != kImagePbase) {
    Shutdown("pbase is " + Hex(ram_.Word(6), 4) + ", not 0x0010");
    return;
  }
  if (timing_.launchWait == Duration::zero()) {
    Start();
    return;
  }
  current_ = Phase::kLaunching;
  SetTimeLimit(at, timing_.launchWait, OnTimeout::kLaunch);
}

void BootLoader::Start() {
  deadline_.reset();
  current_ = Phase::kRunning;
  Note(runner_ ? "program starts" : "program would start here (no program runner attached)");
  if (runner_) runner_->Launch(ram_);
}

void BootLoader::BootFromEeprom(const std::string& reason, TimePoint at) {
  if (settings_.faults.noEeprom) {
    Shutdown(reason + ", and no EEPROM answers");
    return;
  }
  Note(reason + ": boots from EEPROM");
  ram_.Assign(eeprom_.ReadBack());
  Launch(at);
}

void BootLoader::Shutdown(const std::string& reason) {
  Note(reason + ": shuts down");
  current_ = Phase::kStopped;
  deadline_.reset();
}

void BootLoader::Break(const std::string& reason) {
  Note(reason + ": the exchange breaks off");
  current_ = Phase::kStopped;
  deadline_.reset();
}

bool BootLoader::Answer(uint8_t byte, bool verdict) {
  const ChipFaults& faults = settings_.faults;
  ++answerNumber_;
  if (faults.garbageFrom > 0 && answerNumber_ >= faults.garbageFrom) byte = kGarbageByte;
  if (verdict && faults.silentAfterVerdict >= 0 && verdictsSent_ >= faults.silentAfterVerdict)
    return false;
  return Send(byte);
}

bool BootLoader::Send(uint8_t byte) {
  if (settings_.faults.stopAfterBytes >= 0 && bytesSent_ >= settings_.faults.stopAfterBytes)
    return false;
  ++bytesSent_;
  reply_ += static_cast<char>(byte);
  return true;
}

}  // namespace qkl::sim
