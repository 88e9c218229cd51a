// The serial ports of a Linux machine, from sysfs: every terminal of /sys/class/tty with a device
// behind it, and for a USB adapter the IDs and texts of its USB device.
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/PortList.h"

namespace {

namespace fs = std::filesystem;

// A USB serial port's device is its interface's child (usb-serial drivers) or the interface
// itself (CDC ACM); the USB device is the interface's parent.
constexpr int UsbDeviceLevelsUp = 3;

std::string ReadAttribute(const fs::path& Folder, const char* Name) {
  std::ifstream File(Folder / Name);
  std::string Line;
  std::getline(File, Line);
  while (!Line.empty() && (Line.back() == '\n' || Line.back() == ' ')) Line.pop_back();
  return Line;
}

uint16_t HexId(const std::string& Text) {
  try {
    return static_cast<uint16_t>(std::stoul(Text, nullptr, 16));
  } catch (const std::exception&) {
    return 0;
  }
}

// The last part of the path a link points to: a driver's or a subsystem's name.
std::string LinkName(const fs::path& Link) {
  std::error_code Error;
  const fs::path Target = fs::read_symlink(Link, Error);
  return Error ? std::string() : Target.filename().string();
}

void AddUsbDevice(const fs::path& Device, TPortInfo& Port) {
  fs::path Folder = Device;
  for (int Up = 0; Up <= UsbDeviceLevelsUp && Folder.has_relative_path(); ++Up) {
    std::error_code Error;
    if (fs::exists(Folder / "idVendor", Error) && fs::exists(Folder / "idProduct", Error)) {
      Port.Usb = true;
      Port.VendorId = HexId(ReadAttribute(Folder, "idVendor"));
      Port.ProductId = HexId(ReadAttribute(Folder, "idProduct"));
      Port.Manufacturer = ReadAttribute(Folder, "manufacturer");
      Port.Product = ReadAttribute(Folder, "product");
      Port.SerialNumber = ReadAttribute(Folder, "serial");
      return;
    }
    Folder = Folder.parent_path();
  }
}

// The 8250 driver registers its legacy ISA ports on its own platform device whether a UART
// answers there or not; real on-board ports come through PNP, ACPI or PCI.
bool LegacyPlaceholder(const fs::path& Device) {
  return Device.string().find("/serial8250") != std::string::npos;
}

// The driver that names the port. Since Linux 6.5 the serial core puts port devices of its own
// (subsystem serial-base, driver "port") between the terminal and its controller.
std::string DriverName(fs::path Device) {
  while (LinkName(Device / "subsystem") == "serial-base" && Device.has_relative_path())
    Device = Device.parent_path();
  return LinkName(Device / "driver");
}

bool IsBluetooth(const std::string& Name, const fs::path& Device) {
  return Name.rfind("rfcomm", 0) == 0 || Device.string().find("/bluetooth/") != std::string::npos;
}

}  // namespace

std::vector<TPortInfo> ListSerialPorts(const TPortListRoots& Roots) {
  std::vector<TPortInfo> Ports;
  std::error_code Error;
  for (const fs::directory_entry& Entry : fs::directory_iterator(Roots.ClassTty, Error)) {
    const std::string Name = Entry.path().filename().string();
    const fs::path Device = fs::canonical(Entry.path() / "device", Error);
    if (Error || LegacyPlaceholder(Device)) continue;
    TPortInfo Port;
    Port.PortName = (fs::path(Roots.DeviceDir) / Name).string();
    Port.Description = DriverName(Device);
    Port.Bluetooth = IsBluetooth(Name, Device);
    AddUsbDevice(Device, Port);
    Ports.push_back(std::move(Port));
  }
  SortByPortName(Ports);
  return Ports;
}
