#include "link/FastLoad.h"

#include <algorithm>
#include <optional>

#include "FastLoaderImage.h"
#include "FastLoaderStageImage.h"
#include "link/FastChannel.h"
#include "link/FastPackets.h"

namespace {
using std::chrono::milliseconds;

// The second stage's code in its program image (pbase + 8); it goes to the same hub address.
constexpr uint16_t StageCode = 0x0018;
// The code's second long: the rate the host goes on with after START, in baud.
constexpr std::size_t StageRateOffset = 4;
constexpr std::size_t VbaseOffset = 8;
constexpr std::size_t PacketLongs = 128;
// The first stage's mailbox takes the last three longs of RAM; an image that reaches them goes the
// classic way.
constexpr std::size_t MailboxStart = 0x7FF4;
// From the boot loader's verdict to the first stage's receiving cog waiting for an attempt's
// calibration bytes: the ROM waits 400000 clocks with the image's oscillator enabled (20 ms at
// 20 MHz, 33 ms at 12 MHz, 50 ms at 8 MHz), then starts the Spin interpreter in cog 0 (496 longs
// from the hub), which starts the loader's cog (496 more), which then waits for 40000 clocks of
// idle line (2 to 5 ms). The RC clock is not known yet, so the first attempt, a probe at the
// slowest rate, goes when a 20 MHz chip can listen, and again after each answer time, ProbeTries
// times, some 21 ms apart: over the 60 to 70 ms of an 8 MHz chip even when a late answer costs a
// try.
constexpr int32_t LaunchMs = 25;
constexpr int ProbeTries = 5;
// The crystal oscillator needs 10 ms to settle once enabled, before the chip may select it (the
// Propeller's rule for a switch from the RC clock to a crystal or PLL mode). The chip times the
// wait in bit times of the CLOCK packet's rate, in units of 256 that the host asks for, and
// answers when it is over: 11 ms (rounded up to a unit, 1.1 ms at 230400) leave room for the bit
// time the chip measured to half a clock (1.5 % at 230400 on an 8 MHz RC clock) and for an
// adapter's rate error (3 % at most for a UART to read the bytes at all).
constexpr int32_t ClockSettleMs = 11;
constexpr uint32_t SettleUnitBits = 256;
// The bit time that follows the answer to a CLOCK of the RC clock comes at once: the adapter's
// latency timer and the system's.
constexpr int32_t BitTimeMs = 40;
// Clearing RAM and summing it take 0.1 s at 8 MHz.
constexpr int32_t RamVerdictMs = 1000;
// Every page read, written with 10 ms write cycles and read again at 8 MHz, with room.
constexpr int32_t EepromVerdictMs = 20000;
constexpr int32_t VerdictLookMs = 20;
// The chip sends the read-back's bytes as it reads them at 400 kHz.
constexpr int32_t ReadGapMs = 500;
// A stopped EEPROM write answers after the page in progress.
constexpr int32_t AbortAnswerMs = 3000;
constexpr std::size_t AbortZeros = 32;
constexpr uint8_t VerdictPass = 0xA5;
constexpr uint8_t VerdictAborted = 0xC3;
constexpr std::size_t PageMapBytes = 64;
constexpr uint8_t ClockSelectMask = 0x07;
constexpr uint8_t FirstCrystalSelect = 2;  // XINPUT, XTAL1 to 3 and their PLL modes

uint32_t LongAt(const std::string& Bytes, std::size_t At) {
  uint32_t Value = 0;
  for (std::size_t Byte = 0; Byte < 4; ++Byte)
    Value |= static_cast<uint32_t>(static_cast<uint8_t>(Bytes[At + Byte])) << (8 * Byte);
  return Value;
}

std::string ProgramBytes(const unsigned char* Begin, const unsigned char* End) {
  return {reinterpret_cast<const char*>(Begin), reinterpret_cast<const char*>(End)};
}

// One fast load or read on Propeller's session.
class TFastRun {
public:
  TFastRun(TPropeller& Propeller, const std::string& PortName, const TFastSettings& Settings)
      : Propeller(Propeller),
        Session(Propeller.LinkSession()),
        PortName(PortName),
        Settings(Settings),
        Channel(Session, [this](std::size_t Longs) { Acknowledged(Longs); }) {}

  TFastOutcome Load(TFastTarget Target);
  TFastOutcome Read(uint32_t Kilobytes, std::string& Into);

private:
  bool StartLoader();
  bool AgreeOnRcClock();
  bool SwitchClock(uint8_t ClockMode, uint32_t ClockHz);
  bool StartStage();
  bool SendImage(const std::string& Used);
  std::optional<uint8_t> Verdict(int32_t LimitMs, bool MayStop);
  std::optional<uint8_t> StopWrite();
  void ReadPageMap();
  bool ReceiveEeprom(uint32_t Kilobytes, std::string& Into);
  // ChipWaiting: the chip's boot loader still waits for the download, so no reset is needed.
  TFastOutcome& ClassicLoad(TFastTarget Target, bool ChipWaiting = false);
  TFastOutcome& ClassicRead(std::string& Into);
  TFastOutcome& Fail(const std::string& Text);
  void Acknowledged(std::size_t Longs);
  void Notify(TLinkStage Stage, uint32_t Done, uint32_t Total) const {
    if (Settings.Progress) Settings.Progress({Stage, Done, Total});
  }

  TPropeller& Propeller;
  TLinkSession& Session;
  const std::string PortName;
  const TFastSettings& Settings;
  TFastChannel Channel;
  TFastOutcome Outcome;
  std::string SavedImage;
  uint32_t SavedLongs = 0;
  uint32_t LongsDone = 0;
  uint32_t LongsTotal = 0;
};

TFastOutcome TFastRun::Load(TFastTarget Target) {
  SavedImage.assign(reinterpret_cast<const char*>(Propeller.Image().data()), ImageSize);
  SavedLongs = Propeller.LongCount();
  const std::size_t Vbase = LongAt(SavedImage, VbaseOffset) & 0xFFFF;
  const std::string Used =
      SavedImage.substr(0, std::min<std::size_t>(std::size_t{SavedLongs} * 4, ImageSize));
  if (Vbase < Settings.ClassicBelowBytes || Used.size() > MailboxStart)
    return ClassicLoad(Target, Settings.ChipFound && Propeller.PortOpen());
  const auto ClockMode = static_cast<uint8_t>(SavedImage[4]);
  const bool Crystal = (ClockMode & ClockSelectMask) >= FirstCrystalSelect;
  if (!StartLoader()) return Outcome.Error.empty() ? ClassicLoad(Target) : Outcome;
  if (!(Crystal ? SwitchClock(ClockMode, LongAt(Used, 0)) : AgreeOnRcClock()))
    return ClassicLoad(Target);
  if (!StartStage() || !SendImage(Used)) return ClassicLoad(Target);
  const auto End = static_cast<uint16_t>(Used.size());
  if (!Channel.Transfer({CommandPacket(static_cast<TFastCommand>(Target), End)}))
    return ClassicLoad(Target);
  Notify(TLinkStage::RamVerify, 0, 1);
  const std::optional<uint8_t> Ram = Verdict(RamVerdictMs, false);
  if (Ram != VerdictPass) return ClassicLoad(Target);
  if (Target == TFastTarget::Ram) {
    Outcome.Ok = true;
    return Outcome;
  }
  Notify(TLinkStage::EepromProgram, 0, 1);
  const std::optional<uint8_t> Eeprom = Verdict(EepromVerdictMs, true);
  if (Outcome.Aborted) return Outcome;
  if (!Eeprom) return ClassicLoad(Target);
  if (Eeprom != VerdictPass) return Fail("EEPROM verify error");
  Outcome.Ok = true;
  return Outcome;
}

TFastOutcome TFastRun::Read(uint32_t Kilobytes, std::string& Into) {
  if (Kilobytes != 32 && Kilobytes != 64)
    return Fail("The EEPROM read-back reads 32 or 64 KB, not " + std::to_string(Kilobytes));
  if (!StartLoader()) return Outcome.Error.empty() ? ClassicRead(Into) : Outcome;
  if (AgreeOnRcClock() && StartStage() &&
      Channel.Transfer({CommandPacket(TFastCommand::Read, static_cast<uint16_t>(Kilobytes))}) &&
      ReceiveEeprom(Kilobytes, Into)) {
    Outcome.Ok = true;
    Outcome.Rate = Channel.Rate();
    return Outcome;
  }
  return std::size_t{Kilobytes} * 1024 == ImageSize
             ? ClassicRead(Into)
             : Fail(
                   "EEPROM read-back failed: the chip stopped answering, or the CRC did not match");
}

// The boot loader's handshake, then the first stage in RAM and its time to start.
bool TFastRun::StartLoader() {
  if (!(Settings.ChipFound && Propeller.PortOpen()) && Propeller.FindPropeller(PortName) == 0) {
    Fail(Propeller.PortOpen() || Propeller.OpenFailureCode() == 0
             ? "No Propeller chip found on " + PortName
             : "Unable to open " + PortName + ": " + Propeller.OpenFailureText());
    return false;
  }
  const std::string Loader = ProgramBytes(std::begin(FastLoaderImage), std::end(FastLoaderImage));
  for (std::size_t Index = 0; Index < ImageLongs; ++Index)
    Propeller.SetImageLong(Index, Index * 4 < Loader.size() ? LongAt(Loader, Index * 4) : 0);
  Propeller.ChecksumValid();
  if (!Propeller.LoadProgram()) return false;
  Session.WaitUntil(Session.Now() + milliseconds(LaunchMs));
  return true;
}

// The rates of the RC clock: the fastest that passes of those its clock takes, once the chip has
// answered a CLOCK of the RC clock at the slowest rate (which leaves the clock alone, tells the bit
// time the chip measured at that rate, and leaves the chip waiting for an attempt).
bool TFastRun::AgreeOnRcClock() {
  const std::vector<uint32_t> Slowest = RatesFor(0, Settings.MaxRate);
  std::string Bit;
  if (Slowest.empty() ||
      !Channel.Probe(Slowest.back(), CommandPacket(TFastCommand::Clock, 0), ProbeTries) ||
      !Channel.Receive(Bit, 1, BitTimeMs) ||
      !Channel.Agree(RatesFor(static_cast<uint8_t>(Bit[0]) * Slowest.back(), Settings.MaxRate)))
    return false;
  Outcome.Rate = Channel.Rate();
  Notify(TLinkStage::RateAgreed, Outcome.Rate, 0);
  return true;
}

// CLOCK at the slowest rate, which every RC clock takes, once a probe has found the chip listening
// (a probe that carried CLOCK would wait out the oscillator's time after every try): the chip
// answers once the oscillator has settled and runs the image's crystal or PLL clock from then on,
// its receiving cog already waiting for an attempt. A wrong crystal (or none) leaves no rate that
// passes.
bool TFastRun::SwitchClock(uint8_t ClockMode, uint32_t ClockHz) {
  const std::vector<uint32_t> RcRates = RatesFor(0, Settings.MaxRate);
  if (RcRates.empty()) return false;
  const uint64_t SettleBits = uint64_t{RcRates.back()} * ClockSettleMs / 1000;
  const auto Units = static_cast<uint16_t>((SettleBits + SettleUnitBits - 1) / SettleUnitBits);
  const TFastPacket Clock =
      CommandPacket(TFastCommand::Clock, static_cast<uint16_t>(Units << 8 | ClockMode));
  if (!Channel.Probe(RcRates.back(), DataPacket(0, {}), ProbeTries) || !Channel.Transfer({Clock}))
    return false;
  Notify(TLinkStage::RateAgreed, RcRates.back(), 0);
  if (!Channel.Agree(RatesFor(ClockHz, Settings.MaxRate), 0)) return false;
  Outcome.Rate = Channel.Rate();
  Notify(TLinkStage::RateAgreed, Outcome.Rate, 0);
  return true;
}

// The second stage's code, told the rate it goes on at; a step down while it goes sends its first
// packet again with the new rate.
bool TFastRun::StartStage() {
  const std::string Image =
      ProgramBytes(std::begin(FastLoaderStageImage), std::end(FastLoaderStageImage));
  const std::size_t Vbase = LongAt(Image, VbaseOffset) & 0xFFFF;
  std::string Code = Image.substr(StageCode, Vbase - StageCode);
  for (uint32_t Told = 0; Told != Channel.Rate();) {
    Told = Channel.Rate();
    for (std::size_t Byte = 0; Byte < 4; ++Byte)
      Code[StageRateOffset + Byte] = static_cast<char>(Told >> (8 * Byte));
    if (!Channel.Transfer(RamPackets(Code, StageCode, PacketLongs))) return false;
  }
  return Channel.Transfer({CommandPacket(TFastCommand::Start, StageCode)});
}

bool TFastRun::SendImage(const std::string& Used) {
  LongsDone = 0;
  LongsTotal = static_cast<uint32_t>(Used.size() / 4);
  Notify(TLinkStage::Download, 0, LongsTotal);
  const bool Sent = Channel.Transfer(RamPackets(Used, 0, PacketLongs));
  LongsTotal = 0;
  Outcome.Rate = Channel.Rate();
  return Sent;
}

void TFastRun::Acknowledged(std::size_t Longs) {
  if (LongsTotal == 0) return;
  LongsDone += static_cast<uint32_t>(Longs);
  Notify(TLinkStage::Download, LongsDone, LongsTotal);
}

// The verdict byte within LimitMs. While MayStop, the caller's abort request stops the write.
std::optional<uint8_t> TFastRun::Verdict(int32_t LimitMs, bool MayStop) {
  const TPortTime Limit = Session.Now() + milliseconds(LimitMs);
  while (Session.Now() < Limit) {
    if (MayStop && Settings.Abort && Settings.Abort->load()) return StopWrite();
    uint8_t Byte = 0;
    if (Session.ReceiveByte(Byte, VerdictLookMs).Ok()) return Byte;
    if (Session.ReadFailed()) break;
  }
  return std::nullopt;
}

// Zeros back to back until the chip answers: it finishes the page in progress, then sends
// VERDICT_ABORTED and the map of the pages it wrote; a verdict instead means it had finished.
std::optional<uint8_t> TFastRun::StopWrite() {
  const std::string Zeros(AbortZeros, '\0');
  const TPortTime Limit = Session.Now() + milliseconds(AbortAnswerMs);
  while (Session.Now() < Limit) {
    if (!Channel.SendRaw(Zeros)) break;
    uint8_t Byte = 0;
    if (!Session.ReceiveByte(Byte, 1).Ok()) continue;
    if (Byte != VerdictAborted) return Byte;
    Outcome.Aborted = true;
    ReadPageMap();
    return Byte;
  }
  Outcome.Aborted = true;
  Outcome.Error = "The EEPROM write was stopped, but the chip did not say which pages it wrote";
  return std::nullopt;
}

void TFastRun::ReadPageMap() {
  std::string Map;
  if (Channel.Receive(Map, PageMapBytes + 4, ReadGapMs) &&
      Crc32(std::string_view(Map).substr(0, PageMapBytes)) == LongAt(Map, PageMapBytes)) {
    Outcome.PagesKnown = true;
    for (uint32_t Page = 0; Page < PageMapBytes * 8; ++Page)
      if (static_cast<uint8_t>(Map[Page / 8]) >> (Page % 8) & 1)
        Outcome.PagesWritten.push_back(Page);
  }
  Outcome.Error =
      Outcome.PagesKnown
          ? "The EEPROM write was stopped: the EEPROM now holds a partly written program"
          : "The EEPROM write was stopped; its map of written pages arrived damaged";
}

bool TFastRun::ReceiveEeprom(uint32_t Kilobytes, std::string& Into) {
  std::string Bytes;
  Bytes.reserve(Kilobytes * 1024 + 4);
  for (uint32_t Kilobyte = 0; Kilobyte < Kilobytes; ++Kilobyte) {
    Notify(TLinkStage::EepromRead, Kilobyte, Kilobytes);
    if (!Channel.Receive(Bytes, 1024, ReadGapMs)) return false;
  }
  if (!Channel.Receive(Bytes, 4, ReadGapMs)) return false;
  Notify(TLinkStage::EepromRead, Kilobytes, Kilobytes);
  const std::size_t Size = std::size_t{Kilobytes} * 1024;
  if (Crc32(std::string_view(Bytes).substr(0, Size)) != LongAt(Bytes, Size)) return false;
  Into = Bytes.substr(0, Size);
  return true;
}

TFastOutcome& TFastRun::ClassicLoad(TFastTarget Target, bool ChipWaiting) {
  Outcome.Classic = true;
  Outcome.Rate = 0;
  Outcome.Error.clear();
  for (std::size_t Index = 0; Index < ImageLongs; ++Index)
    Propeller.SetImageLong(Index, LongAt(SavedImage, Index * 4));
  Propeller.SetLongCount(SavedLongs);
  Outcome.Ok = (ChipWaiting || Propeller.FindPropeller(PortName) != 0) &&
               Propeller.LoadImage(static_cast<uint8_t>(Target));
  if (!Outcome.Ok) Outcome.Error = Propeller.LastError();
  return Outcome;
}

TFastOutcome& TFastRun::ClassicRead(std::string& Into) {
  Outcome.Classic = true;
  Outcome.Rate = 0;
  Outcome.Error.clear();
  Outcome.Ok = Propeller.FindPropeller(PortName) != 0 && Propeller.ReadEeprom();
  if (Outcome.Ok)
    Into.assign(reinterpret_cast<const char*>(Propeller.Image().data()), Propeller.Image().size());
  else
    Outcome.Error =
        Propeller.LastError().empty() ? "EEPROM read-back failed" : Propeller.LastError();
  return Outcome;
}

TFastOutcome& TFastRun::Fail(const std::string& Text) {
  Outcome.Ok = false;
  Outcome.Error = Text;
  return Outcome;
}
}  // namespace

TFastOutcome FastLoad(TPropeller& Propeller, const std::string& PortName, TFastTarget Target,
                      const TFastSettings& Settings) {
  return TFastRun(Propeller, PortName, Settings).Load(Target);
}

TFastOutcome FastRead(TPropeller& Propeller, const std::string& PortName, uint32_t Kilobytes,
                      const TFastSettings& Settings, std::string& Into) {
  return TFastRun(Propeller, PortName, Settings).Read(Kilobytes, Into);
}
