#include "sim/CogImageRunner.h"

#include <algorithm>
#include <cstdio>

#include "sim/cog/EmulationError.h"

namespace qkl::sim {

namespace {

constexpr uint32_t kDefaultBaud = 115200;
// The reader program answers each of the host's clock bytes within that byte; its answer frame
// ends at most a few bit times after the clock byte has gone out.
constexpr double kAnswerBitTimes = 3;
// The reader's answers before its checksum: the sync bit, 250 shift-register bits and the 8
// version bits, then 32768 bytes of eight bits each.
constexpr long kReaderCrcFirstAnswer = 1 + 258 + 32768L * 8;
constexpr uint8_t kAnswerZero = 0xFE;
constexpr uint8_t kAnswerOne = 0xFF;
constexpr std::size_t kViolationsLogged = 10;

}  // namespace

CogImageRunner::CogImageRunner(const ChipSettings& settings, EepromStore& eeprom, ChipLog log)
    : settings_(settings), eeprom_(eeprom), log_(std::move(log)) {}

CogImageRunner::~CogImageRunner() = default;

void CogImageRunner::Note(const std::string& text) const {
  if (log_) log_(text);
}

void CogImageRunner::Launch(const HubRam& ram) {
  PowerUp({});
  std::copy(ram.Bytes().begin(), ram.Bytes().end(), chip_->Memory().Ram().begin());
  launchedAt_ = chip_->Seconds();
  try {
    chip_->LaunchImage();
    Note("emulator runs the image at " + Megahertz(chip_->FrequencyHz()));
  } catch (const std::exception& failure) {
    StopProgram(failure.what());
  }
}

void CogImageRunner::BootFromRom() {
  PowerUp(settings_.romDirectory);
  Note("reset: the ROM's boot loader starts at " + Megahertz(settings_.clockHz));
}

std::string CogImageRunner::Megahertz(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%g MHz", hz / 1e6);
  return text;
}

void CogImageRunner::PowerUp(const std::string& romDirectory) {
  Halt();
  qkl::cog::ChipConfig config;
  config.clock.rcFastHz = settings_.clockHz;
  config.clock.crystalHz = settings_.crystalHz;
  config.romDirectory = romDirectory;
  chip_ = std::make_unique<qkl::cog::Chip>(config);
  board_ = std::make_unique<qkl::devices::Board>(*chip_);
  eepromBytes_ = eeprom_.ReadBack();
  qkl::devices::EepromConfig eepromConfig;
  eepromConfig.writeCycleSeconds = settings_.pageWriteSeconds;
  rom_ = std::make_unique<qkl::devices::I2cEeprom>(*chip_, qkl::devices::EepromBytes(eepromBytes_),
                                                   eepromConfig);
  rom_->OnStore([this](uint32_t, uint32_t) {
    if (!eeprom_.Program(eepromBytes_)) Note("the EEPROM file could not be written");
  });
  if (settings_.faults.noEeprom) rom_->SetFault(qkl::devices::EepromFault::kAbsent);
  if (settings_.faults.sdaHeldLow) rom_->SetFault(qkl::devices::EepromFault::kSdaHeldLow);
  board_->Attach(*rom_);
  AttachLine(lineBaud_ ? lineBaud_ : kDefaultBaud);
  answersSent_ = 0;
  programBytes_ = 0;
  launchedAt_.reset();
  clockStopNoted_ = false;
  emulatedSeconds_ = 0;
  emulationWall_ = {};
  running_ = true;
  wallMark_ = Clock::now();
  chipMark_ = chip_->Seconds();
}

void CogImageRunner::AttachLine(uint32_t baud) {
  if (line_) board_->Detach(*line_);
  qkl::devices::SerialLineConfig config;
  config.baud = baud;
  config.stopBits = hostStopBits_;
  line_ = std::make_unique<qkl::devices::SerialLine>(*chip_, config);
  board_->Attach(*line_);
  lineBaud_ = baud;
  lineStopBits_ = hostStopBits_;
}

// As a real adapter, the line sends and decodes at the rate and in the frames the host set from
// then on, whether the host sends anything or only listens; bytes the host has already sent keep
// their rate.
void CogImageRunner::FollowHostRate(uint32_t baud) {
  const bool changed = (baud && baud != lineBaud_) || hostStopBits_ != lineStopBits_;
  if (changed && !line_->Sending()) AttachLine(baud ? baud : lineBaud_);
}

void CogImageRunner::RunToSeconds(double seconds) {
  if (!running_ || seconds <= chip_->Seconds()) return;
  const TimePoint start = Clock::now();
  const double chipStart = chip_->Seconds();
  const auto measure = [&] {
    emulatedSeconds_ += chip_->Seconds() - chipStart;
    emulationWall_ += Clock::now() - start;
  };
  try {
    const qkl::cog::RunStop stop = board_->RunUntil(chip_->CycleAt(seconds));
    if (stop == qkl::cog::RunStop::kSoftwareReset) StopProgram("the program reset the chip");
    if (stop == qkl::cog::RunStop::kClockStopped && !clockStopNoted_) {
      clockStopNoted_ = true;
      Note("the program stopped the chip's clock");
      ReportTiming();
    }
  } catch (const std::exception& failure) {
    StopProgram(failure.what());
  }
  measure();
}

// While the line is idle, chip time follows the wall clock from the end of the host's last
// bytes, however long their emulation took.
void CogImageRunner::FollowWallClock(TimePoint at) {
  RunToSeconds(chipMark_ + std::max(std::chrono::duration<double>(at - wallMark_).count(), 0.0));
}

// The host's bytes go out back to back from `at`, or after those still on the line. The
// pseudo-terminal lets the host's write and its wait for the output to drain return at once, so
// the host starts timing what follows (a verdict poll, say) from `at`: chip time runs on from the
// end of the bytes with the wall clock from then.
void CogImageRunner::PutOnLine(std::string_view bytes, TimePoint at) {
  line_->Send(*chip_, bytes);
  chipMark_ = line_->SendDoneSeconds(*chip_);
  wallMark_ = std::max(at, wallMark_);
}

std::string CogImageRunner::LineInput(std::string_view bytes, uint32_t baud, TimePoint at) {
  if (!running_) return {};
  FollowWallClock(at);
  FollowHostRate(baud);
  PutOnLine(WithFaults(bytes), at);
  RunToSeconds(chipMark_ + kAnswerBitTimes / lineBaud_);
  // The host cannot go on before it has the answers: wall time the emulation took is not time
  // the line was idle. Without this, an emulator that falls behind would give the program ever
  // longer pauses between the host's bytes, and its time-outs would end it.
  wallMark_ = std::max(wallMark_, Clock::now());
  return TakeAnswers();
}

std::string CogImageRunner::CatchUp(TimePoint now, uint32_t baud,
                                    std::vector<TimePoint>& startedAt) {
  if (!running_) return {};
  FollowHostRate(baud);
  FollowWallClock(now);
  return TakeAnswers(&startedAt);
}

// The host's bytes as they reach the chip's pin, with the one that arrives corrupted.
std::string CogImageRunner::WithFaults(std::string_view bytes) {
  constexpr char kInvertedBit = 0x10;
  std::string taken(bytes);
  if (!chip_->ImageStarted()) return taken;
  const long corrupt = settings_.faults.corruptByteAfter;
  if (corrupt >= programBytes_ && corrupt < programBytes_ + static_cast<long>(taken.size())) {
    taken[corrupt - programBytes_] ^= kInvertedBit;
    Note("host byte " + std::to_string(corrupt + 1) + " after the image's start arrives corrupted");
  }
  programBytes_ += static_cast<long>(taken.size());
  return taken;
}

// The bytes formed from P30, with the faults of a program that stops partway or a checksum
// that arrives corrupted.
std::string CogImageRunner::TakeAnswers(std::vector<TimePoint>* startedAt) {
  std::vector<double> starts;
  std::string answers = line_->TakeReceived(&starts);
  if (launchedAt_ && answersSent_ == 0 && !answers.empty()) NoteFirstAnswer();
  const ChipFaults& faults = settings_.faults;
  for (char& answer : answers) {
    if (faults.corruptCrc && answersSent_ == kReaderCrcFirstAnswer)
      answer =
          static_cast<char>(static_cast<uint8_t>(answer) == kAnswerZero ? kAnswerOne : kAnswerZero);
    ++answersSent_;
  }
  const long limit = faults.programStopsAfter;
  if (limit >= 0 && answersSent_ >= limit) {
    answers.resize(answers.size() - static_cast<std::size_t>(answersSent_ - limit));
    answersSent_ = limit;
    chip_->Shutdown();
    StopProgram("the program stops after " + std::to_string(limit) + " answers");
  }
  if (startedAt)
    for (std::size_t index = 0; index < answers.size(); ++index)
      startedAt->push_back(wallMark_ +
                           std::chrono::duration_cast<Duration>(
                               std::chrono::duration<double>(starts[index] - chipMark_)));
  return answers;
}

// How long the program took to its first answer: for the EEPROM reader, its time to the sync.
void CogImageRunner::NoteFirstAnswer() {
  char text[64];
  std::snprintf(text, sizeof text, "first answer %.1f ms after the program started",
                1e3 * (chip_->Seconds() - *launchedAt_));
  Note(text);
}

void CogImageRunner::StopProgram(const std::string& reason) {
  if (!running_) return;
  running_ = false;
  Note("program stops: " + reason);
}

void CogImageRunner::ReportTiming() {
  const auto& violations = rom_->Violations();
  Note("I2C timing: " + std::to_string(violations.size()) + " violations");
  for (std::size_t index = 0; index < std::min(violations.size(), kViolationsLogged); ++index)
    Note("I2C timing violation at " + violations[index].Describe());
}

void CogImageRunner::Halt() {
  if (!chip_) return;
  running_ = false;
  if (!clockStopNoted_) ReportTiming();
  char speed[96];
  std::snprintf(speed, sizeof speed, "emulated %.3f s of chip time in %.3f s", emulatedSeconds_,
                std::chrono::duration<double>(emulationWall_).count());
  Note(speed);
  // A reset does not reach the EEPROM: a write cycle under way still completes.
  if (rom_->WriteCyclePending()) {
    chip_->Shutdown();
    board_->RunFor(settings_.pageWriteSeconds);
  }
  board_.reset();
  line_.reset();
  rom_.reset();
  chip_.reset();
}

}  // namespace qkl::sim
