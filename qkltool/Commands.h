// The commands of qkl-tool, each run from what its command line asked to its exit code. Loads and
// reads take the fast loader's path (link/FastLoad.h) at up to MaxRate, which falls back to the
// chip's ROM boot loader where it must; Classic takes the boot loader's path only.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

class TMessages;

constexpr uint32_t FastestRate = 3000000;
constexpr uint32_t BootLoaderRate = 115200;
constexpr const char* BootEepromSize = "32K";
constexpr const char* LargeEepromSize = "64K";

// The reset line and the wire trace of every command that resets the chip.
struct TWireChoice {
  std::string Reset = "dtr";  // dtr or rts
  bool Trace = false;         // to standard error
  std::string TraceFile;      // to this file instead; empty: none
};

struct TLinkChoice {
  std::string Port;  // empty: QKL_PORT, else the single board a probe finds
  TWireChoice Wire;
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

struct TPortsRequest {
  bool Probe = false;
  bool ProbeAll = false;  // probe every port but a Bluetooth one, not only the Propeller adapters
  bool Json = false;
  TWireChoice Wire;
};

int RunLoad(const TLoadRequest& Request, TMessages& Messages);
int RunRead(const TReadRequest& Request, TMessages& Messages);
// The listing goes to Out.
int RunPorts(const TPortsRequest& Request, std::ostream& Out, TMessages& Messages);
