#include "link/PortProbe.h"

#include <algorithm>
#include <ostream>
#include <thread>

#include "link/Propeller.h"

namespace {

TProbeResult ProbeOne(const std::string& PortName, const TProbeSettings& Settings) {
  TProbeResult Result;
  Result.PortName = PortName;
  Result.Busy = PortInUse(PortName, true);
  if (Result.Busy) return Result;
  std::ostream Discard(nullptr);
  TPropeller Link(Discard);
  Link.SetBaudRate(Settings.Baud);
  Link.LinkSession().SetResetMethod(*Settings.Reset);
  Link.LinkSession().TraceTo(Settings.Trace);
  Result.Version = Link.FindPropeller(PortName);
  if (Link.OpenFailureCode() != 0) Result.OpenFailure = Link.OpenFailureText();
  Link.ClosePort();
  return Result;
}

}  // namespace

bool ProbeCandidate(const TPortInfo& Port, bool All) {
  if (Port.Bluetooth) return false;
  if (All) return true;
  return Port.Usb && std::any_of(std::begin(PropellerAdapters), std::end(PropellerAdapters),
                                 [&Port](const TUsbId& Id) {
                                   return Id.Vendor == Port.VendorId &&
                                          Id.Product == Port.ProductId;
                                 });
}

std::vector<TProbeResult> ProbePorts(const std::vector<std::string>& Ports,
                                     const TProbeSettings& Settings) {
  std::vector<TProbeResult> Results(Ports.size());
  std::vector<std::thread> Probes;
  Probes.reserve(Ports.size());
  for (std::size_t Index = 0; Index < Ports.size(); ++Index)
    Probes.emplace_back([&, Index] { Results[Index] = ProbeOne(Ports[Index], Settings); });
  for (std::thread& Probe : Probes) Probe.join();
  return Results;
}
