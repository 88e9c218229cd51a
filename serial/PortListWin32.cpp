// The serial ports of Windows: the COM ports of the registry's SERIALCOMM map, described by
// SetupAPI (friendly name, manufacturer, and a USB adapter's IDs and serial number from its
// instance ID).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <cstdlib>
#include <cstring>
#include <map>

#include "serial/PortList.h"

namespace {

std::vector<std::string> RegistryComPorts() {
  std::vector<std::string> Names;
  HKEY Key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &Key) !=
      ERROR_SUCCESS)
    return Names;
  for (DWORD Index = 0;; ++Index) {
    char Value[256];
    BYTE Data[256];
    DWORD ValueSize = sizeof Value;
    DWORD DataSize = sizeof Data - 1;
    DWORD Type = 0;
    if (::RegEnumValueA(Key, Index, Value, &ValueSize, nullptr, &Type, Data, &DataSize) !=
        ERROR_SUCCESS)
      break;
    if (Type != REG_SZ) continue;
    Data[DataSize] = 0;
    Names.emplace_back(reinterpret_cast<const char*>(Data));
  }
  ::RegCloseKey(Key);
  return Names;
}

std::string DeviceProperty(HDEVINFO Devices, SP_DEVINFO_DATA& Device, DWORD Property) {
  char Text[512] = {};
  if (!::SetupDiGetDeviceRegistryPropertyA(Devices, &Device, Property, nullptr,
                                           reinterpret_cast<BYTE*>(Text), sizeof Text - 1, nullptr))
    return {};
  return Text;
}

std::string PortNameOf(HDEVINFO Devices, SP_DEVINFO_DATA& Device) {
  HKEY Key = ::SetupDiOpenDevRegKey(Devices, &Device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (Key == INVALID_HANDLE_VALUE) return {};
  char Name[64] = {};
  DWORD Size = sizeof Name - 1;
  DWORD Type = 0;
  const bool Read = ::RegQueryValueExA(Key, "PortName", nullptr, &Type,
                                       reinterpret_cast<BYTE*>(Name), &Size) == ERROR_SUCCESS;
  ::RegCloseKey(Key);
  return Read && Type == REG_SZ ? std::string(Name) : std::string();
}

uint16_t HexAfter(const std::string& Text, const char* Tag) {
  const std::size_t At = Text.find(Tag);
  if (At == std::string::npos) return 0;
  return static_cast<uint16_t>(std::strtoul(Text.c_str() + At + std::strlen(Tag), nullptr, 16));
}

// USB\VID_0403&PID_6001\A50285BI (the USB serial driver), FTDIBUS\VID_0403+PID_6001+A50285BIA\0000
// (FTDI's own driver, which appends a letter for the port of the chip).
void AddUsbIds(const std::string& InstanceId, TPortInfo& Port) {
  Port.VendorId = HexAfter(InstanceId, "VID_");
  Port.ProductId = HexAfter(InstanceId, "PID_");
  Port.Usb = Port.VendorId != 0;
  if (!Port.Usb) return;
  const bool Ftdi = InstanceId.rfind("FTDIBUS\\", 0) == 0;
  const std::size_t Start =
      Ftdi ? InstanceId.find('+', InstanceId.find("PID_")) : InstanceId.rfind('\\');
  if (Start == std::string::npos) return;
  const std::size_t End = Ftdi ? InstanceId.find('\\', Start) : std::string::npos;
  Port.SerialNumber =
      InstanceId.substr(Start + 1, End == std::string::npos ? End : End - Start - 1);
  // A serial number Windows made up has '&' in it.
  if (Port.SerialNumber.find('&') != std::string::npos) Port.SerialNumber.clear();
}

std::string InstanceIdOf(HDEVINFO Devices, SP_DEVINFO_DATA& Device) {
  char Id[512] = {};
  if (!::SetupDiGetDeviceInstanceIdA(Devices, &Device, Id, sizeof Id - 1, nullptr)) return {};
  return Id;
}

// The ports class's devices by their COM name.
std::map<std::string, TPortInfo> DescribedPorts() {
  std::map<std::string, TPortInfo> Described;
  HDEVINFO Devices = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (Devices == INVALID_HANDLE_VALUE) return Described;
  SP_DEVINFO_DATA Device{};
  Device.cbSize = sizeof Device;
  for (DWORD Index = 0; ::SetupDiEnumDeviceInfo(Devices, Index, &Device); ++Index) {
    TPortInfo Port;
    Port.PortName = PortNameOf(Devices, Device);
    if (Port.PortName.empty()) continue;
    Port.Description = DeviceProperty(Devices, Device, SPDRP_FRIENDLYNAME);
    Port.Manufacturer = DeviceProperty(Devices, Device, SPDRP_MFG);
    const std::string InstanceId = InstanceIdOf(Devices, Device);
    Port.Bluetooth = InstanceId.rfind("BTHENUM\\", 0) == 0;
    AddUsbIds(InstanceId, Port);
    Described[Port.PortName] = Port;
  }
  ::SetupDiDestroyDeviceInfoList(Devices);
  return Described;
}

}  // namespace

std::vector<TPortInfo> ListSerialPorts(const TPortListRoots&) {
  const std::map<std::string, TPortInfo> Described = DescribedPorts();
  std::vector<TPortInfo> Ports;
  for (const std::string& Name : RegistryComPorts()) {
    const auto Found = Described.find(Name);
    if (Found != Described.end()) {
      Ports.push_back(Found->second);
    } else {
      Ports.push_back(TPortInfo{});
      Ports.back().PortName = Name;
    }
  }
  SortByPortName(Ports);
  return Ports;
}
