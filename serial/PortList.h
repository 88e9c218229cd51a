// The serial ports of the machine and what the system knows of each: one contract, one file per
// platform (PortListLinux.cpp, PortListDev.cpp for macOS and the BSDs, PortListWin32.cpp), and
// whether another program holds a port (PortInUsePosix.cpp, PortInUseWin32.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TPortInfo {
  std::string PortName;     // what the port is opened by: /dev/ttyUSB0, /dev/cu.usbserial-A1, COM3
  std::string Description;  // the system's name for it: a driver, a friendly name; may be empty
  bool Usb = false;         // the fields below hold only for a USB adapter
  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
  std::string Manufacturer;
  std::string Product;
  std::string SerialNumber;
  bool Bluetooth = false;  // a wireless link; never probed, as its far end is no adapter's reset
};

// Where the Linux listing looks: the terminal class folder of sysfs and the device folder.
// QKL_SYSFS_TTY and QKL_DEV_DIR replace the defaults, for tests on a fixture tree.
struct TPortListRoots {
  std::string ClassTty = "/sys/class/tty";
  std::string DeviceDir = "/dev";
};
TPortListRoots PortListRootsFromEnvironment();

// The serial ports present, in natural order of their names (ttyUSB2 before ttyUSB10). Roots
// matter only on Linux.
std::vector<TPortInfo> ListSerialPorts(
    const TPortListRoots& Roots = PortListRootsFromEnvironment());

// Best effort: true when another program is seen to hold the port. On POSIX a lock file
// LCK..<name> in /var/lock or /run/lock naming a live process, an exclusive open refused (EBUSY),
// or an flock held; on Windows an open refused with access denied. With OpenToCheck false only
// the lock files are looked at: opening a terminal raises its modem lines, which resets a board
// wired to them.
bool PortInUse(const std::string& PortName, bool OpenToCheck);

// Shared by the platform files: natural order of the port names (digit runs by value).
void SortByPortName(std::vector<TPortInfo>& Ports);
