// The commands of qkl-tool, each run from what its command line asked to its exit code. Loads and
// reads take the fast loader's path (link/FastLoad.h) at up to MaxRate, which falls back to the
// chip's ROM boot loader where it must; Classic takes the boot loader's path only.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

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

// A terminal session on the chip's serial line.
struct TTerminalChoice {
  uint32_t Baud = BootLoaderRate;
  double TimeoutSeconds = 0;  // 0: none
  bool NoStatus = false;      // else the bytes 0xFF 0x00 status end the session with that status
  bool ExitOnEof = false;     // the end of standard input ends the session
};

struct TLoadRequest {
  TLinkChoice Link;
  // More than one: every board loaded side by side, one line each.
  std::vector<std::string> Ports;
  bool All = false;  // every board that a probe of the Propeller adapters finds, as Ports
  std::string File;
  bool Eeprom = false;    // write the EEPROM as well as RAM
  bool Shutdown = false;  // after the EEPROM is written, stop the chip instead of running it
  bool Json = false;      // the lines of a load on several ports as JSON
  bool Terminal = false;  // after the load, a terminal on the same open port
  TTerminalChoice Session;
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

struct TTermRequest {
  std::string Port;  // empty: QKL_PORT, else the single Propeller adapter listed
  TTerminalChoice Session;
};

// The program's output in a terminal session, and the lines of a load on several ports, go to
// Out.
int RunLoad(const TLoadRequest& Request, std::ostream& Out, TMessages& Messages);
int RunRead(const TReadRequest& Request, TMessages& Messages);
int RunTerm(const TTermRequest& Request, std::ostream& Out, TMessages& Messages);
// The listing goes to Out.
int RunPorts(const TPortsRequest& Request, std::ostream& Out, TMessages& Messages);
