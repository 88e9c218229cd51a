#include "tests/support/SysfsTree.h"

#include <fstream>

namespace simtest {

namespace fs = std::filesystem;

void TSysfsTree::AddUsbTerminal(const std::string& Name, const TUsb& Usb, bool Acm,
                                const std::string& Driver) {
  const std::string Device = "pci0000:00/usb1/1-" + std::to_string(++UsbPorts);
  const std::string Interface = Device + "/" + Device.substr(Device.rfind('/') + 1) + ":1.0";
  LinkDevice(Name, Acm ? Interface : Interface + "/" + Name, Driver);
  const fs::path UsbDevice = Top.Root() / "devices" / Device;
  const std::pair<const char*, const char*> Attributes[] = {{"idVendor", Usb.Vendor},
                                                            {"idProduct", Usb.Product},
                                                            {"manufacturer", Usb.Manufacturer},
                                                            {"product", Usb.ProductName},
                                                            {"serial", Usb.Serial}};
  for (const auto& [File, Value] : Attributes) std::ofstream(UsbDevice / File) << Value << '\n';
}

void TSysfsTree::AddTerminal(const std::string& Name, const std::string& DevicePath,
                             const std::string& Driver) {
  if (DevicePath.empty()) {
    fs::create_directories(fs::path(ClassTty()) / Name);
    return;
  }
  LinkDevice(Name, DevicePath, Driver);
}

// The class entry and its device link, relative as in sysfs, and the device's driver link.
fs::path TSysfsTree::LinkDevice(const std::string& Name, const std::string& DevicePath,
                                const std::string& Driver) {
  const fs::path Entry = fs::path(ClassTty()) / Name;
  const fs::path Device = Top.Root() / "devices" / DevicePath;
  fs::create_directories(Entry);
  fs::create_directories(Device);
  fs::create_directory_symlink(fs::relative(Device, Entry), Entry / "device");
  if (!Driver.empty()) {
    const fs::path DriverFolder = Top.Root() / "bus" / "drivers" / Driver;
    fs::create_directories(DriverFolder);
    fs::create_directory_symlink(fs::relative(DriverFolder, Device), Device / "driver");
  }
  return Device;
}

}  // namespace simtest
