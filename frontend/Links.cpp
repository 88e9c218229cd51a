#include "frontend/Links.h"

#include "frontend/Console.h"

namespace {
constexpr uint32_t HighSpeedBaudRate = 230400;
}

std::unique_ptr<TPropeller> CreateLink(const TRunSettings& Settings, TConsole& Console) {
  auto Link = std::make_unique<TPropeller>(Console.Out, Console.LinkHooks(), Console.NewPort());
  if (Settings.HighSpeed) Link->SetBaudRate(HighSpeedBaudRate);
  return Link;
}

uint8_t DetectChip(TPropeller& Link, const TRunSettings& Settings, TConsole& Console) {
  const uint8_t Version = Link.FindPropeller(Settings.PortName);
  Console.ReportPortTrouble(Link, Settings.PortName);
  return Version;
}
