#include "sim/CogImageRunner.h"

#include <algorithm>
#include <cstdio>

#include "sim/cog/EmulationError.h"

namespace sim {

namespace {

constexpr uint32_t DefaultBaud = 115200;
// The reader program answers each of the host's clock bytes within that byte; its answer frame
// ends at most a few bit times after the clock byte has gone out.
constexpr double AnswerBitTimes = 3;
// The reader's answers before its checksum: the sync bit, 250 shift-register bits and the 8
// version bits, then 32768 bytes of eight bits each.
constexpr long ReaderCrcFirstAnswer = 1 + 258 + 32768L * 8;
constexpr uint8_t AnswerZero = 0xFE;
constexpr uint8_t AnswerOne = 0xFF;
constexpr std::size_t ViolationsLogged = 10;

}  // namespace

CogImageRunner::CogImageRunner(const ChipSettings& Settings, EepromStore& Eeprom, ChipLog Log)
    : Settings(Settings), Eeprom(Eeprom), Log(std::move(Log)) {}

CogImageRunner::~CogImageRunner() = default;

void CogImageRunner::Note(const std::string& Text) const {
  if (Log) Log(Text);
}

void CogImageRunner::Launch(const HubRam& Ram) {
  PowerUp({});
  Note("emulator runs the image at " + Megahertz());
  std::copy(Ram.Bytes().begin(), Ram.Bytes().end(), Chip->Memory().Ram().begin());
  LaunchedAt = Chip->Seconds();
  try {
    Chip->LaunchImage();
  } catch (const std::exception& Failure) {
    StopProgram(Failure.what());
  }
}

void CogImageRunner::BootFromRom() {
  PowerUp(Settings.RomDirectory);
  Note("reset: the ROM's boot loader starts at " + Megahertz());
}

std::string CogImageRunner::Megahertz() const {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%g MHz", Settings.ClockHz / 1e6);
  return Text;
}

void CogImageRunner::PowerUp(const std::string& RomDirectory) {
  Halt();
  qkl::cog::ChipConfig Config;
  Config.clock.rcFastHz = Settings.ClockHz;
  Config.romDirectory = RomDirectory;
  Chip = std::make_unique<qkl::cog::Chip>(Config);
  Board = std::make_unique<qkl::devices::Board>(*Chip);
  EepromBytes = Eeprom.ReadBack();
  Rom = std::make_unique<qkl::devices::I2cEeprom>(*Chip, qkl::devices::EepromBytes(EepromBytes));
  Rom->OnStore([this](uint32_t, uint32_t) {
    if (!Eeprom.Program(EepromBytes)) Note("the EEPROM file could not be written");
  });
  if (Settings.Faults.NoEeprom) Rom->SetFault(qkl::devices::EepromFault::kAbsent);
  if (Settings.Faults.SdaHeldLow) Rom->SetFault(qkl::devices::EepromFault::kSdaHeldLow);
  Board->Attach(*Rom);
  AttachLine(LineBaud ? LineBaud : DefaultBaud);
  AnswersSent = 0;
  LaunchedAt.reset();
  ClockStopNoted = false;
  EmulatedSeconds = 0;
  EmulationWall = {};
  Running = true;
  WallMark = Clock::now();
  ChipMark = Chip->Seconds();
}

void CogImageRunner::AttachLine(uint32_t Baud) {
  if (Line) Board->Detach(*Line);
  qkl::devices::SerialLineConfig Config;
  Config.baud = Baud;
  Line = std::make_unique<qkl::devices::SerialLine>(*Chip, Config);
  Board->Attach(*Line);
  LineBaud = Baud;
}

void CogImageRunner::RunToSeconds(double Seconds) {
  if (!Running || Seconds <= Chip->Seconds()) return;
  const TimePoint Start = Clock::now();
  const double ChipStart = Chip->Seconds();
  const auto Measure = [&] {
    EmulatedSeconds += Chip->Seconds() - ChipStart;
    EmulationWall += Clock::now() - Start;
  };
  try {
    const qkl::cog::RunStop Stop = Board->RunUntil(Chip->CycleAt(Seconds));
    if (Stop == qkl::cog::RunStop::kSoftwareReset) StopProgram("the program reset the chip");
    if (Stop == qkl::cog::RunStop::kClockStopped && !ClockStopNoted) {
      ClockStopNoted = true;
      Note("the program stopped the chip's clock");
      ReportTiming();
    }
  } catch (const std::exception& Failure) {
    StopProgram(Failure.what());
  }
  Measure();
}

// While the line is idle, chip time follows the wall clock from the end of the host's last
// bytes, however long their emulation took.
void CogImageRunner::FollowWallClock(TimePoint At) {
  RunToSeconds(ChipMark + std::max(std::chrono::duration<double>(At - WallMark).count(), 0.0));
}

// The host's bytes go out back to back from At, or after those still on the line. The
// pseudo-terminal lets the host's write and its wait for the output to drain return at once, so
// the host starts timing what follows (a verdict poll, say) from At: chip time runs on from the
// end of the bytes with the wall clock from then.
void CogImageRunner::PutOnLine(std::string_view Bytes, TimePoint At) {
  Line->Send(*Chip, Bytes);
  ChipMark = Line->SendDoneSeconds(*Chip);
  WallMark = std::max(At, WallMark);
}

std::string CogImageRunner::LineInput(std::string_view Bytes, uint32_t Baud, TimePoint At) {
  if (!Running) return {};
  FollowWallClock(At);
  if (Baud && Baud != LineBaud && !Line->Sending()) AttachLine(Baud);
  PutOnLine(Bytes, At);
  RunToSeconds(ChipMark + AnswerBitTimes / LineBaud);
  // The host cannot go on before it has the answers: wall time the emulation took is not time
  // the line was idle. Without this, an emulator that falls behind would give the program ever
  // longer pauses between the host's bytes, and its time-outs would end it.
  WallMark = std::max(WallMark, Clock::now());
  return TakeAnswers();
}

std::string CogImageRunner::CatchUp(TimePoint Now) {
  if (!Running) return {};
  FollowWallClock(Now);
  return TakeAnswers();
}

// The bytes formed from P30, with the faults of a program that stops partway or a checksum
// that arrives corrupted.
std::string CogImageRunner::TakeAnswers() {
  std::string Answers = Line->TakeReceived();
  if (LaunchedAt && AnswersSent == 0 && !Answers.empty()) NoteFirstAnswer();
  const ChipFaults& Faults = Settings.Faults;
  for (char& Answer : Answers) {
    if (Faults.CorruptCrc && AnswersSent == ReaderCrcFirstAnswer)
      Answer =
          static_cast<char>(static_cast<uint8_t>(Answer) == AnswerZero ? AnswerOne : AnswerZero);
    ++AnswersSent;
  }
  const long Limit = Faults.ProgramStopsAfter;
  if (Limit >= 0 && AnswersSent >= Limit) {
    Answers.resize(Answers.size() - static_cast<std::size_t>(AnswersSent - Limit));
    AnswersSent = Limit;
    Chip->Shutdown();
    StopProgram("the program stops after " + std::to_string(Limit) + " answers");
  }
  return Answers;
}

// How long the program took to its first answer: for the EEPROM reader, its time to the sync.
void CogImageRunner::NoteFirstAnswer() {
  char Text[64];
  std::snprintf(Text, sizeof Text, "first answer %.1f ms after the program started",
                1e3 * (Chip->Seconds() - *LaunchedAt));
  Note(Text);
}

void CogImageRunner::StopProgram(const std::string& Reason) {
  if (!Running) return;
  Running = false;
  Note("program stops: " + Reason);
}

void CogImageRunner::ReportTiming() {
  const auto& Violations = Rom->Violations();
  Note("I2C timing: " + std::to_string(Violations.size()) + " violations");
  for (std::size_t Index = 0; Index < std::min(Violations.size(), ViolationsLogged); ++Index)
    Note("I2C timing violation at " + Violations[Index].Describe());
}

void CogImageRunner::Halt() {
  if (!Chip) return;
  Running = false;
  if (!ClockStopNoted) ReportTiming();
  char Speed[96];
  std::snprintf(Speed, sizeof Speed, "emulated %.3f s of chip time in %.3f s", EmulatedSeconds,
                std::chrono::duration<double>(EmulationWall).count());
  Note(Speed);
  // A reset does not reach the EEPROM: a write cycle under way still completes.
  if (Rom->WriteCyclePending()) {
    Chip->Shutdown();
    Board->RunFor(qkl::devices::EepromConfig{}.writeCycleSeconds);
  }
  Board.reset();
  Line.reset();
  Rom.reset();
  Chip.reset();
}

}  // namespace sim
