#include "qkltool/ChoosePort.h"

#include <cstdlib>
#include <sstream>

#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"
#include "qkltool/PortListing.h"

namespace {

int NoSingleBoard(const std::vector<TListedPort>& Seen, std::size_t Boards, TMessages& Messages) {
  Messages.Failure(
      "no single board found: " + (Boards == 0
                                       ? std::string("no chip answered on a Propeller adapter")
                                       : std::to_string(Boards) + " boards answered"),
      "name the port with --port or QKL_PORT; qkl-tool ports --probe-all probes every port");
  if (Seen.empty()) Messages.Line("the system has no serial port");
  std::istringstream Lines(PortsAsText(Seen));
  for (std::string Line; std::getline(Lines, Line);) Messages.Line("  " + Line);
  return ExitNoSingleBoard;
}

}  // namespace

int ChoosePort(const std::string& Named, const TLinkWire& Wire, std::string& Port,
               TMessages& Messages) {
  Port = Named;
  if (const char* Default = std::getenv("QKL_PORT"); Port.empty() && Default) Port = Default;
  if (!Port.empty()) return ExitDone;
  const std::vector<TListedPort> Seen = ListPorts(true, false, Wire.ProbeSettings());
  const std::vector<std::string> Found = PortsWithChip(Seen);
  if (Found.size() != 1) return NoSingleBoard(Seen, Found.size(), Messages);
  Port = Found.front();
  Messages.Line("found a chip on " + Port);
  return ExitDone;
}
