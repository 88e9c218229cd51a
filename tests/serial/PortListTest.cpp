// The Linux port listing on a fake sysfs, and the check for a port another program holds.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/PortList.h"
#include "tests/support/PtyPair.h"
#include "tests/support/SysfsTree.h"

namespace {

struct TExpected {
  std::string Name;
  std::string Driver;
  bool Usb;
  uint16_t VendorId;
  uint16_t ProductId;
  std::string Manufacturer;
  std::string Product;
  std::string Serial;
  bool Bluetooth;
};

}  // namespace

// Terminals without a device and the 8250 driver's placeholders are no ports; a USB adapter
// shows its device's IDs and texts whether its terminal hangs below the interface or is it;
// the order is natural (ttyUSB2 before ttyUSB10).
TEST(PortList, LinuxListsTerminalsWithADeviceAndTheirUsbAdapters) {
  simtest::TSysfsTree Sysfs;
  Sysfs.AddUsbTerminal("ttyUSB10", {"0403", "6015", "FTDI", "FT231X USB UART", "DN0123AB"});
  Sysfs.AddUsbTerminal("ttyUSB2", {"10c4", "ea60", "Silicon Labs", "CP2102", "0001"}, false,
                       "cp210x");
  Sysfs.AddUsbTerminal("ttyACM0", {"2e8a", "000a", "Raspberry Pi", "Pico", "E66038B7"}, true,
                       "cdc_acm");
  Sysfs.AddTerminal("tty0");
  Sysfs.AddTerminal("ttyS1", "platform/serial8250/serial8250:0/serial8250:0.1", "port");
  Sysfs.AddTerminal("ttyS0", "pnp0/00:05", "serial");
  Sysfs.AddTerminal("rfcomm0", "virtual/bluetooth/hci0/rfcomm0");

  const std::vector<TPortInfo> Ports = ListSerialPorts({Sysfs.ClassTty(), "/dev"});
  const std::vector<TExpected> Expected = {
      {"/dev/rfcomm0", "", false, 0, 0, "", "", "", true},
      {"/dev/ttyACM0", "cdc_acm", true, 0x2e8a, 0x000a, "Raspberry Pi", "Pico", "E66038B7", false},
      {"/dev/ttyS0", "serial", false, 0, 0, "", "", "", false},
      {"/dev/ttyUSB2", "cp210x", true, 0x10c4, 0xea60, "Silicon Labs", "CP2102", "0001", false},
      {"/dev/ttyUSB10", "ftdi_sio", true, 0x0403, 0x6015, "FTDI", "FT231X USB UART", "DN0123AB",
       false},
  };
  ASSERT_EQ(Ports.size(), Expected.size());
  for (std::size_t Index = 0; Index < Ports.size(); ++Index) {
    const TPortInfo& Port = Ports[Index];
    const TExpected& Want = Expected[Index];
    EXPECT_EQ(Port.PortName, Want.Name);
    EXPECT_EQ(Port.Description, Want.Driver) << Want.Name;
    EXPECT_EQ(Port.Usb, Want.Usb) << Want.Name;
    EXPECT_EQ(Port.VendorId, Want.VendorId) << Want.Name;
    EXPECT_EQ(Port.ProductId, Want.ProductId) << Want.Name;
    EXPECT_EQ(Port.Manufacturer, Want.Manufacturer) << Want.Name;
    EXPECT_EQ(Port.Product, Want.Product) << Want.Name;
    EXPECT_EQ(Port.SerialNumber, Want.Serial) << Want.Name;
    EXPECT_EQ(Port.Bluetooth, Want.Bluetooth) << Want.Name;
  }
}

// An flock by another holder shows the port busy; the check itself leaves no lock behind.
TEST(PortInUse, AnFlockHeldElsewhereMakesThePortBusy) {
  TPtyPair Pty;
  EXPECT_FALSE(PortInUse(Pty.SlavePath, true));
  EXPECT_EQ(::flock(Pty.Slave, LOCK_EX | LOCK_NB), 0);
  EXPECT_TRUE(PortInUse(Pty.SlavePath, true));
  EXPECT_FALSE(PortInUse(Pty.SlavePath, false));  // without opening, only lock files count
}
