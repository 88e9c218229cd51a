// The fast load: the boot loader's protocol puts the fast loader (FastLoaderProgram.spin) in RAM,
// which takes its second stage and then the image, or sends the EEPROM back, at up to 3 Mbaud in
// packets with a CRC. Where the fast path fails for want of a rate, a clock or an answer, the
// classic download runs instead, so the fast path never fails where the classic one succeeds.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/LinkProgress.h"
#include "link/Propeller.h"

// What becomes of the image, as the classic download's modes 1 to 3.
enum class TFastTarget : uint8_t { Ram = 1, EepromShutdown = 2, EepromRun = 3 };

struct TFastSettings {
  uint32_t MaxRate = 3000000;
  // Images shorter than this take the classic path, which is quicker for them: the fast path's
  // fixed cost is some 0.75 s (the loader's download and verdict, the rate attempts, the second
  // stage), which the classic path's 0.2 ms a long makes up at about 2 KB (measured on qkl-sim's
  // paced line at 12 MHz).
  std::size_t ClassicBelowBytes = 2048;
  // Set, from another thread or a signal handler, to stop an EEPROM write after the page in
  // progress.
  const std::atomic<bool>* Abort = nullptr;
  std::function<void(const TLinkProgress&)> Progress;
  // The caller has just found the chip on the port (TPropeller::FindPropeller): its boot loader
  // waits for the download, and the fast path saves a reset and a handshake.
  bool ChipFound = false;
};

struct TFastOutcome {
  bool Ok = false;
  bool Classic = false;     // the classic path did the work: a small image, or the fallback
  uint32_t Rate = 0;        // the last rate agreed on the fast path
  bool Aborted = false;     // the caller stopped an EEPROM write
  bool PagesKnown = false;  // then: the chip's map of the pages it wrote came whole
  std::vector<uint32_t> PagesWritten;  // those pages, of 64 bytes, counted from address 0
  std::string Error;
};

// Loads the image Propeller holds (read from its file, its checksum checked) over PortName.
TFastOutcome FastLoad(TPropeller& Propeller, const std::string& PortName, TFastTarget Target,
                      const TFastSettings& Settings);
// Reads Kilobytes (32, or 64 of a 24LC512) of the EEPROM into Into, which is set only when the
// bytes' CRC matched. A failed 32 KB read falls back to the classic read-back.
TFastOutcome FastRead(TPropeller& Propeller, const std::string& PortName, uint32_t Kilobytes,
                      const TFastSettings& Settings, std::string& Into);
