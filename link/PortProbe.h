// Which chip answers on which port: one detection per port, all ports at once, one link
// session each. A detection resets whatever is on the port, so by default only the USB adapters
// of Propeller boards are probed, never a Bluetooth port, and never a port another program
// holds (as far as the system tells: see PortInUse).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/ResetMethod.h"
#include "link/WireTrace.h"
#include "serial/PortList.h"

struct TUsbId {
  uint16_t Vendor;
  uint16_t Product;
};

// The USB serial adapters of Propeller boards, as in the udev rule: FTDI FT232R (the Prop Plug
// and most boards) and FT231X.
inline constexpr TUsbId PropellerAdapters[] = {{0x0403, 0x6001}, {0x0403, 0x6015}};

// True for a port a probe may reset: a Propeller adapter, or with All any port but a Bluetooth
// one.
bool ProbeCandidate(const TPortInfo& Port, bool All);

struct TProbeSettings {
  uint32_t Baud = 115200;
  const TResetMethod* Reset = &DtrReset();
  TWireTrace* Trace = nullptr;
};

struct TProbeResult {
  std::string PortName;
  bool Busy = false;        // held by another program: not opened
  uint8_t Version = 0;      // the chip's version byte; 0 when none answered
  std::string OpenFailure;  // why the port could not be opened; empty when it was
};

// One detection on each of Ports, side by side (about 0.35 s in all when no chip answers). The
// results come in the order of Ports.
std::vector<TProbeResult> ProbePorts(const std::vector<std::string>& Ports,
                                     const TProbeSettings& Settings);
