// The commands of qkl-tool, each run from what its command line asked to its exit code. Loads and
// reads take the fast loader's path (link/FastLoad.h) at up to MaxRate, which falls back to the
// chip's ROM boot loader where it must; Classic takes the boot loader's path only.
#pragma once

#include <cstdint>
#include <string>

class TMessages;

constexpr uint32_t FastestRate = 3000000;
constexpr uint32_t BootLoaderRate = 115200;
constexpr const char* BootEepromSize = "32K";
constexpr const char* LargeEepromSize = "64K";

struct TLinkChoice {
  std::string Port;
  uint32_t MaxRate = FastestRate;  // the highest rate a fast load may agree on
  bool Classic = false;            // the ROM boot loader path only
};

struct TLoadRequest {
  TLinkChoice Link;
  std::string File;
  bool Eeprom = false;    // write the EEPROM as well as RAM
  bool Shutdown = false;  // after the EEPROM is written, stop the chip instead of running it
};

struct TReadRequest {
  TLinkChoice Link;
  std::string File;
  std::string Size = BootEepromSize;
};

int RunLoad(const TLoadRequest& Request, TMessages& Messages);
int RunRead(const TReadRequest& Request, TMessages& Messages);
