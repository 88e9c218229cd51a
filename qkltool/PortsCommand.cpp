// qkl-tool ports: the serial ports of the machine, and with --probe the chip on each.
#include <iostream>

#include "qkltool/Commands.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/LinkWire.h"
#include "qkltool/PortListing.h"

int RunPorts(const TPortsRequest& Request, std::ostream& Out, TMessages& Messages) {
  TLinkWire Wire;
  if (const int Exit = Wire.Open(Request.Wire, Messages); Exit != ExitDone) return Exit;
  const std::vector<TListedPort> Ports =
      ListPorts(Request.Probe, Request.ProbeAll, Wire.ProbeSettings());
  Out << (Request.Json ? PortsAsJson(Ports) : PortsAsText(Ports)) << std::flush;
  return ExitDone;
}
