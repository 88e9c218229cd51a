// The ports of the machine as qkl-tool shows them: what the system knows of each and, when
// probed, whether a chip answers and its version; as text lines for people and as JSON for
// scripts.
#pragma once

#include <string>
#include <vector>

#include "link/PortProbe.h"
#include "serial/PortList.h"

struct TListedPort {
  TPortInfo Info;
  bool Probed = false;
  TProbeResult Probe;  // when Probed
};

// Every port present; with Probe, a detection on each candidate (the Propeller adapters, or
// with ProbeAll every port but a Bluetooth one), all at once.
std::vector<TListedPort> ListPorts(bool Probe, bool ProbeAll, const TProbeSettings& Settings);

// The ports where a chip answered.
std::vector<std::string> PortsWithChip(const std::vector<TListedPort>& Ports);

// One line a port: its name, what it is, and what the probe found ("chip version 1", "no chip",
// "busy", "not probed").
std::string PortsAsText(const std::vector<TListedPort>& Ports);
// A JSON array of one object a port (an empty array for none).
std::string PortsAsJson(const std::vector<TListedPort>& Ports);
