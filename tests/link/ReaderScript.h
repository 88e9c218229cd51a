// What the EEPROM reader program answers, played by a scripted peer: sync, its own handshake
// with version 0xDE, the ignored command long, the EEPROM bytes and their CRC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ScriptedPeer.h"

struct TReaderPlay {
  std::string Eeprom = std::string(32768, '\xFF');
  bool AnswersSync = true;
  int SyncAfterPolls = 0;  // polls left unanswered before the sync answer
  uint8_t SyncBit = 0;
  uint8_t Version = 0xDE;
  std::optional<uint16_t> Crc;                // the CRC sent; the right one when empty
  std::optional<std::size_t> StopAfterBytes;  // the reader stops after this many data bytes
};

uint16_t EepromCrc(const std::string& Eeprom);

// Plays the reader from its sync answer on. A reader that runs to its end also checks that
// exactly 262400 clock bytes followed the command long.
void PlayReader(TScriptedPeer& Peer, const TReaderPlay& Play);

// The whole chip side of a read-back that starts with a detection: the boot loader's
// handshake answer (version 1) and then the reader.
void PlayChipWithReader(TScriptedPeer& Peer, const TReaderPlay& Play);
