#include "qkltool/ChoosePort.h"

#include <cstdlib>
#include <sstream>

#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"
#include "qkltool/PortListing.h"

namespace {

int NoSingleBoard(const std::vector<TListedPort>& Seen, const std::string& Why,
                  TMessages& Messages) {
  Messages.Failure(
      "no single board found: " + Why,
      "name the port with --port or QKL_PORT; qkl-tool ports --probe-all probes every port");
  if (Seen.empty()) Messages.Line("the system has no serial port");
  std::istringstream Lines(PortsAsText(Seen));
  for (std::string Line; std::getline(Lines, Line);) Messages.Line("  " + Line);
  return ExitNoSingleBoard;
}

std::string BoardsAnswered(std::size_t Boards) {
  return Boards == 0 ? "no chip answered on a Propeller adapter"
                     : std::to_string(Boards) + " boards answered";
}

std::string NamedPort(const std::string& Named) {
  if (!Named.empty()) return Named;
  const char* Default = std::getenv("QKL_PORT");
  return Default ? Default : "";
}

}  // namespace

int ChoosePort(const std::string& Named, const TLinkWire& Wire, std::string& Port,
               TMessages& Messages) {
  Port = NamedPort(Named);
  if (!Port.empty()) return ExitDone;
  const std::vector<TListedPort> Seen = ListPorts(true, false, Wire.ProbeSettings());
  const std::vector<std::string> Found = PortsWithChip(Seen);
  if (Found.size() != 1) return NoSingleBoard(Seen, BoardsAnswered(Found.size()), Messages);
  Port = Found.front();
  Messages.Line("found a chip on " + Port);
  return ExitDone;
}

int ChooseEveryBoard(const TLinkWire& Wire, std::vector<std::string>& Ports, TMessages& Messages) {
  const std::vector<TListedPort> Seen = ListPorts(true, false, Wire.ProbeSettings());
  Ports = PortsWithChip(Seen);
  if (Ports.empty()) return NoSingleBoard(Seen, BoardsAnswered(0), Messages);
  return ExitDone;
}

int ChooseListedPort(const std::string& Named, std::string& Port, TMessages& Messages) {
  Port = NamedPort(Named);
  if (!Port.empty()) return ExitDone;
  const std::vector<TListedPort> Seen = ListPorts(false, false, {});
  std::vector<std::string> Adapters;
  for (const TListedPort& Each : Seen)
    if (ProbeCandidate(Each.Info, false)) Adapters.push_back(Each.Info.PortName);
  if (Adapters.size() != 1)
    return NoSingleBoard(Seen,
                         (Adapters.empty() ? std::string("no") : std::to_string(Adapters.size())) +
                             " Propeller adapters listed",
                         Messages);
  Port = Adapters.front();
  Messages.Line("using the Propeller adapter on " + Port);
  return ExitDone;
}
