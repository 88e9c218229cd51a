#include "ScriptedPeer.h"

#include <algorithm>
#include <stdexcept>

#include "tests/support/WireDecoder.h"

namespace {
struct TPeerStop : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Each byte decodes on its own, since no pulse crosses a stop bit; a table keeps the peer
// well ahead of the host, also in sanitizer builds.
const simtest::TDecodedLine& DecodedByte(uint8_t Byte) {
  static const std::vector<simtest::TDecodedLine> Table = [] {
    std::vector<simtest::TDecodedLine> Lines;
    for (int Value = 0; Value < 256; ++Value)
      Lines.push_back(simtest::DecodeLine(std::string(1, static_cast<char>(Value))));
    return Lines;
  }();
  return Table[Byte];
}
}  // namespace

TScriptedPeer::TScriptedPeer(const std::string& PortName) : Line(PortName) {}

TScriptedPeer::~TScriptedPeer() { Finish(); }

void TScriptedPeer::Start(TScript Script) {
  Finish();
  Line.FarEndStarts();
  ScriptNow = Line.Now();
  Failure.clear();
  Received.clear();
  FirstByteAt = {};
  Input.clear();
  InputAt = 0;
  Bits = &NoBits;
  BitAt = 0;
  Thread = std::thread([this, Script = std::move(Script)] {
    try {
      Script(*this);
      FlushOutput();
    } catch (const std::exception& Error) {
      Failure = Error.what();
    }
    Line.FarEndEnds();
  });
}

std::string TScriptedPeer::Finish() {
  Line.HostDone();
  if (Thread.joinable()) Thread.join();
  return Failure;
}

void TScriptedPeer::FlushOutput() {
  Line.SendToHost(Output, ScriptNow);
  Output.clear();
}

uint8_t TScriptedPeer::ReadByte() {
  const uint8_t Byte = PeekByte();
  ++InputAt;
  return Byte;
}

uint8_t TScriptedPeer::PeekByte() {
  while (InputAt == Input.size()) {
    FlushOutput();  // the host may be waiting for the replies before it sends more
    TPortTime At{};
    switch (Line.TakeFromHost(Input, At, ScriptNow + std::chrono::milliseconds(PatienceMs))) {
      case TVirtualLine::TTake::Data: break;
      case TVirtualLine::TTake::Stopped: throw TPeerStop("stopped");
      case TVirtualLine::TTake::TimeUp:
      case TVirtualLine::TTake::HostDone: throw TPeerStop("the host went quiet");
    }
    ScriptNow = std::max(ScriptNow, At);
    if (Received.empty()) FirstByteAt = At;
    InputAt = 0;
    Received.append(Input);
  }
  return static_cast<uint8_t>(Input[InputAt]);
}

// Bit by bit from the decoded bytes, without copying: the peer must decode a whole download
// that the host wrote at once into the pseudo-terminal before the host's first poll times out,
// and the sanitized build decodes slowly.
uint8_t TScriptedPeer::ReadBit() {
  while (BitAt == Bits->size()) {
    const simtest::TDecodedLine& Line = DecodedByte(ReadByte());
    if (!Line.Fault.empty()) throw std::runtime_error("bad pulse from the host: " + Line.Fault);
    Bits = &Line.Bits;
    BitAt = 0;
  }
  return (*Bits)[BitAt++];
}

bool TScriptedPeer::BitsPending() const { return BitAt != Bits->size(); }

std::vector<uint8_t> TScriptedPeer::ReadBits(std::size_t Count) {
  std::vector<uint8_t> Taken(Count);
  for (uint8_t& Bit : Taken) Bit = ReadBit();
  return Taken;
}

uint32_t TScriptedPeer::ReadLong() {
  uint32_t Value = 0;
  for (int Bit = 0; Bit < 32; ++Bit) Value |= static_cast<uint32_t>(ReadBit()) << Bit;
  return Value;
}

void TScriptedPeer::Send(const std::string& Bytes) { Output += Bytes; }

void TScriptedPeer::IgnorePoll() {
  if (BitsPending()) throw std::runtime_error("a poll came in the middle of encoded bits");
  const uint8_t Byte = ReadByte();
  if (Byte != 0xF9) throw std::runtime_error("expected a poll byte, got " + std::to_string(Byte));
}

int TScriptedPeer::IgnorePollsUntilData() {
  int Polls = 0;
  for (; PeekByte() == 0xF9; ++Polls) IgnorePoll();
  return Polls;
}

void TScriptedPeer::IgnorePollsFor(int Ms) {
  const TPortTime Until = ScriptNow + std::chrono::milliseconds(Ms);
  FlushOutput();
  for (;;) {
    while (InputAt < Input.size()) IgnorePoll();
    TPortTime At{};
    const TVirtualLine::TTake Take = Line.TakeFromHost(Input, At, Until);
    if (Take == TVirtualLine::TTake::Stopped) throw TPeerStop("stopped");
    if (Take != TVirtualLine::TTake::Data) break;
    InputAt = 0;
    Received.append(Input);
  }
  ScriptNow = std::max(ScriptNow, Until);
}

void TScriptedPeer::ExpectQuiet(int Ms) {
  FlushOutput();
  const int Patience = PatienceMs;
  PatienceMs = Ms;
  try {
    PeekByte();
  } catch (const TPeerStop&) {
    PatienceMs = Patience;
    return;
  }
  throw std::runtime_error("the host sent a byte it should not have sent");
}

void TScriptedPeer::AnswerPoll(uint8_t Reply) {
  IgnorePoll();
  Send(std::string(1, static_cast<char>(Reply)));
}

void TScriptedPeer::AnswerByte(uint8_t Value) {
  for (int Bit = 0; Bit < 8; ++Bit) AnswerBit((Value >> Bit) & 1);
}

void TScriptedPeer::AnswerBytes(const std::string& Values) {
  for (const char Value : Values) AnswerByte(static_cast<uint8_t>(Value));
}

uint8_t TScriptedPeer::NextLfsrBit() {
  // Taps 7, 5, 4 and 1 as a mask; the parity of the tapped bits feeds bit 0.
  const uint8_t Output = Lfsr & 1;
  Lfsr = static_cast<uint8_t>(Lfsr << 1 | (__builtin_popcount(Lfsr & 0xB2) & 1));
  return Output;
}

void TScriptedPeer::TakeHandshake(bool WithCalibration) {
  if (WithCalibration && ReadBits(2) != std::vector<uint8_t>{1, 0}) {
    throw std::runtime_error("no calibration pulses");
  }
  Lfsr = 0x50;
  const std::vector<uint8_t> Handshake = ReadBits(250);
  for (std::size_t Number = 0; Number < Handshake.size(); ++Number) {
    if (Handshake[Number] != NextLfsrBit()) {
      throw std::runtime_error("handshake bit " + std::to_string(Number + 1) + " is wrong");
    }
  }
}

void TScriptedPeer::AnswerHandshake(uint8_t Version, int WrongBit, int VersionBits) {
  for (int Number = 1; Number <= 250; ++Number) {
    AnswerBit(static_cast<uint8_t>(NextLfsrBit() ^ (Number == WrongBit ? 1 : 0)));
  }
  for (int Bit = 0; Bit < VersionBits; ++Bit) AnswerBit((Version >> Bit) & 1);
}

std::vector<uint32_t> TScriptedPeer::TakeDownload() {
  std::vector<uint32_t> Longs{ReadLong(), ReadLong()};
  for (uint32_t Index = 0; Index < Longs[1]; ++Index) Longs.push_back(ReadLong());
  return Longs;
}
