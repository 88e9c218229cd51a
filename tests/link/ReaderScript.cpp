#include "ReaderScript.h"

#include <stdexcept>

namespace {
constexpr uint32_t ReaderCommand = 5;
constexpr std::size_t ClockBytesInAll = 262400;
}  // namespace

uint16_t EepromCrc(const std::string& Eeprom) {
  uint16_t Crc = 0xFFFF;
  for (const char Byte : Eeprom) {
    Crc ^= static_cast<uint8_t>(Byte);
    for (int Bit = 0; Bit < 8; ++Bit) Crc = (Crc & 1) ? (Crc >> 1) ^ 0xA001 : Crc >> 1;
  }
  return Crc;
}

void PlayReader(TScriptedPeer& Peer, const TReaderPlay& Play) {
  if (Play.AnswersSync) {
    for (int Poll = 0; Poll < Play.SyncAfterPolls; ++Poll) Peer.IgnorePoll();
    Peer.AnswerBit(Play.SyncBit);
  }
  Peer.IgnorePollsUntilData();
  Peer.TakeHandshake(false);
  Peer.AnswerHandshake(Play.Version);
  if (Play.Version != 0xDE) return;
  if (Peer.ReadLong() != ReaderCommand) throw std::runtime_error("the command long is not 5");
  if (Play.StopAfterBytes) {
    Peer.AnswerBytes(Play.Eeprom.substr(0, *Play.StopAfterBytes));
    return;
  }
  Peer.AnswerBytes(Play.Eeprom);
  const uint16_t Crc = Play.Crc.value_or(EepromCrc(Play.Eeprom));
  Peer.AnswerByte(static_cast<uint8_t>(Crc & 0xFF));
  Peer.AnswerByte(static_cast<uint8_t>(Crc >> 8));
  std::size_t Clocks = Play.Eeprom.size() * 8 + 16;
  while (Clocks < ClockBytesInAll) {
    Peer.IgnorePoll();
    ++Clocks;
  }
  Peer.ExpectQuiet(100);
}

void PlayChipWithReader(TScriptedPeer& Peer, const TReaderPlay& Play) {
  Peer.TakeHandshake(true);
  Peer.AnswerHandshake(1);
  PlayReader(Peer, Play);
}
