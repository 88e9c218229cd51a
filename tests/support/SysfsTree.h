// A fake sysfs for the Linux port listing: a terminal class folder whose entries link to device
// folders, as /sys/class/tty links into /sys/devices, with the USB attributes of an adapter.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"

namespace simtest {

class TSysfsTree {
public:
  // The folder that stands for /sys/class/tty, and one for /dev.
  std::string ClassTty() const { return (Top.Root() / "class" / "tty").string(); }
  std::string DeviceDir() const { return (Top.Root() / "dev").string(); }

  struct TUsb {
    const char* Vendor;  // hexadecimal, as sysfs writes it: "0403"
    const char* Product;
    const char* Manufacturer;
    const char* ProductName;
    const char* Serial;
  };
  // A terminal of a USB adapter: a usb-serial port below the adapter's interface (Acm false), or
  // the interface itself (CDC ACM).
  void AddUsbTerminal(const std::string& Name, const TUsb& Usb, bool Acm = false,
                      const std::string& Driver = "ftdi_sio");
  // A terminal whose device is DevicePath below the fake /sys/devices (none: no device link).
  void AddTerminal(const std::string& Name, const std::string& DevicePath = "",
                   const std::string& Driver = "");

private:
  std::filesystem::path LinkDevice(const std::string& Name, const std::string& DevicePath,
                                   const std::string& Driver);
  TempFolder Top;
  int UsbPorts = 0;
};

}  // namespace simtest
