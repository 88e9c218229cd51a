// The serial ports of macOS and the BSDs: their call-out devices in /dev. Without IOKit (the
// macOS cross build has no framework headers) the USB properties are not known here.
#include <dirent.h>

#include "serial/PortList.h"

namespace {

#ifdef __APPLE__
constexpr const char* CallOutPrefix = "cu.";
#else
constexpr const char* CallOutPrefix = "cua";
#endif

}  // namespace

std::vector<TPortInfo> ListSerialPorts(const TPortListRoots& Roots) {
  std::vector<TPortInfo> Ports;
  DIR* Folder = ::opendir(Roots.DeviceDir.c_str());
  if (!Folder) return Ports;
  while (const dirent* Entry = ::readdir(Folder)) {
    const std::string Name = Entry->d_name;
    if (Name.rfind(CallOutPrefix, 0) != 0) continue;
    TPortInfo Port;
    Port.PortName = Roots.DeviceDir + "/" + Name;
    Port.Bluetooth = Name.find("Bluetooth") != std::string::npos;
    Ports.push_back(std::move(Port));
  }
  ::closedir(Folder);
  SortByPortName(Ports);
  return Ports;
}
