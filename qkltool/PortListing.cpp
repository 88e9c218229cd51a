#include "qkltool/PortListing.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

std::string HexId(uint16_t Id) {
  char Text[8];
  std::snprintf(Text, sizeof Text, "%04x", Id);
  return Text;
}

std::string Joined(const std::vector<std::string>& Parts) {
  std::string Text;
  for (const std::string& Part : Parts)
    if (!Part.empty()) Text += (Text.empty() ? "" : " ") + Part;
  return Text;
}

std::string Description(const TPortInfo& Info) {
  if (!Info.Usb) return Info.Description.empty() ? "-" : Info.Description;
  return Joined({"usb", HexId(Info.VendorId) + ":" + HexId(Info.ProductId), Info.Manufacturer,
                 Info.Product, Info.SerialNumber.empty() ? "" : "serial " + Info.SerialNumber});
}

std::string Finding(const TListedPort& Port) {
  if (!Port.Probed) return Port.Info.Bluetooth ? "bluetooth, not probed" : "not probed";
  if (Port.Probe.Busy) return "busy";
  if (!Port.Probe.OpenFailure.empty()) return "cannot open: " + Port.Probe.OpenFailure;
  if (Port.Probe.Version == 0) return "no chip";
  return "chip version " + std::to_string(Port.Probe.Version);
}

nlohmann::json OrNull(const std::string& Text) {
  return Text.empty() ? nlohmann::json(nullptr) : nlohmann::json(Text);
}

nlohmann::json UsbAsJson(const TPortInfo& Info) {
  if (!Info.Usb) return nullptr;
  return {{"vendor_id", HexId(Info.VendorId)},
          {"product_id", HexId(Info.ProductId)},
          {"manufacturer", OrNull(Info.Manufacturer)},
          {"product", OrNull(Info.Product)},
          {"serial_number", OrNull(Info.SerialNumber)}};
}

nlohmann::json PortAsJson(const TListedPort& Port) {
  const bool Found = Port.Probed && Port.Probe.Version != 0;
  return {{"port", Port.Info.PortName},
          {"description", OrNull(Port.Info.Description)},
          {"usb", UsbAsJson(Port.Info)},
          {"bluetooth", Port.Info.Bluetooth},
          {"probed", Port.Probed},
          {"busy", Port.Probed && Port.Probe.Busy},
          {"version", Found ? nlohmann::json(Port.Probe.Version) : nlohmann::json(nullptr)},
          {"error", OrNull(Port.Probed ? Port.Probe.OpenFailure : std::string())}};
}

}  // namespace

std::vector<TListedPort> ListPorts(bool Probe, bool ProbeAll, const TProbeSettings& Settings) {
  std::vector<TListedPort> Ports;
  std::vector<std::string> Candidates;
  for (TPortInfo& Info : ListSerialPorts()) {
    if (Probe && ProbeCandidate(Info, ProbeAll)) Candidates.push_back(Info.PortName);
    Ports.push_back({std::move(Info), false, {}});
  }
  std::vector<TProbeResult> Results = ProbePorts(Candidates, Settings);
  for (TProbeResult& Result : Results) {
    auto Port = std::find_if(Ports.begin(), Ports.end(), [&Result](const TListedPort& Listed) {
      return Listed.Info.PortName == Result.PortName;
    });
    Port->Probed = true;
    Port->Probe = std::move(Result);
  }
  return Ports;
}

std::vector<std::string> PortsWithChip(const std::vector<TListedPort>& Ports) {
  std::vector<std::string> Found;
  for (const TListedPort& Port : Ports)
    if (Port.Probed && Port.Probe.Version != 0) Found.push_back(Port.Info.PortName);
  return Found;
}

std::string PortsAsText(const std::vector<TListedPort>& Ports) {
  std::size_t NameWidth = 0;
  std::size_t DescriptionWidth = 0;
  for (const TListedPort& Port : Ports) {
    NameWidth = std::max(NameWidth, Port.Info.PortName.size());
    DescriptionWidth = std::max(DescriptionWidth, Description(Port.Info).size());
  }
  std::string Text;
  for (const TListedPort& Port : Ports) {
    std::string Line = Port.Info.PortName;
    Line.resize(NameWidth + 2, ' ');
    Line += Description(Port.Info);
    Line.resize(NameWidth + 2 + DescriptionWidth + 2, ' ');
    Text += Line + Finding(Port) + "\n";
  }
  return Text;
}

std::string PortsAsJson(const std::vector<TListedPort>& Ports) {
  nlohmann::json List = nlohmann::json::array();
  for (const TListedPort& Port : Ports) List.push_back(PortAsJson(Port));
  return List.dump(2) + "\n";
}
