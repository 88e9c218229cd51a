// What a virtual chip is told at start: its version byte, its clock, how long its work takes,
// and the faults it shows for tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace qkl::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;

// Receives one line of text for each thing the chip saw or did.
using ChipLog = std::function<void(const std::string&)>;

struct ChipFaults {
  bool absent = false;    // no chip on the line: nothing answers
  bool echo = false;      // the line sends every host byte straight back
  int wrongAnswerAt = 0;  // handshake answer bit n (1 to 258) is inverted; 0: none
  int garbageFrom = 0;    // from answer n on, a garbage byte replaces 0xFE/0xFF; 0: none
  int noiseWhileBusy =
      0;                 // polls while verdict n (1 to 3) is not ready get a garbage byte; 0: none
  bool failRam = false;  // the RAM checksum verdict is a failure
  bool failProgram = false;     // EEPROM programming fails (nothing is written)
  bool failVerify = false;      // the EEPROM verify verdict is a failure
  int silentAfterVerdict = -1;  // only the first n verdicts are sent; -1: all
  int stopAfterBytes = -1;      // only the first n reply bytes after a reset are sent; -1: all
  int closeAfterBytes = -1;     // the chip's side of the line closes after n host bytes; -1: never
  // The paced line carries at most this rate in each direction, whatever rate the host set, so
  // it drains the host's writes slowly (a congested or failing adapter); 0: the host's rate.
  int slowLineBaud = 0;
  bool noEeprom = false;  // nothing answers on the EEPROM bus
  // Faults met by a program the emulator runs:
  bool sdaHeldLow = false;     // something holds the EEPROM's data line low
  int programStopsAfter = -1;  // the program stops after n answers on the line; -1: never
  bool corruptCrc = false;     // the first bit of the reader's checksum arrives inverted
  // The host byte after the first n that reach a running program (counted from the boot
  // loader's start of the image) arrives with one bit inverted, once after each reset; -1: none.
  int corruptByteAfter = -1;
};

struct ChipSettings {
  uint8_t version = 1;
  double clockHz = 12e6;   // the internal RC clock the boot loader runs on (8 to 20 MHz)
  double crystalHz = 5e6;  // the crystal on XI/XO, as most boards have; 0: none fitted
  bool instant = false;    // verdicts without the time the chip needs to compute them
  bool runImages = true;   // a loaded image runs on the cog emulator
  // The EEPROM's self-timed write cycle for each of its 512 pages.
  double pageWriteSeconds = 5e-3;
  // The line carries the link rate in real time, ten bit times a byte each way, and the chip
  // keeps its working times (instant is ignored).
  bool paced = false;
  // A paced line hands the chip's bytes to the host once every this many milliseconds, or as
  // soon as a USB packet of them is full, as a USB serial adapter's latency timer does.
  int adapterLatencyMs = 1;
  // Not empty: the folder of the chip's ROM, whose own boot loader then runs on the emulator
  // at every reset in place of the boot loader model.
  std::string romDirectory;
  ChipFaults faults;
  std::string eepromPath;  // empty: the EEPROM lives in memory only
};

// The byte a faulty chip sends in place of an answer: neither 0xFE nor 0xFF.
constexpr uint8_t kGarbageByte = 0x55;

}  // namespace qkl::sim
