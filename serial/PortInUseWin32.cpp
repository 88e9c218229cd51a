// Whether another program holds a Windows COM port: Windows opens a COM port for one handle
// only, and refuses a second with access denied. Windows has no lock files.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "serial/PortList.h"

bool PortInUse(const std::string& PortName, bool OpenToCheck) {
  if (!OpenToCheck) return false;
  const std::string Path = PortName.rfind("\\\\.\\", 0) == 0 ? PortName : "\\\\.\\" + PortName;
  const HANDLE Port = ::CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (Port == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_ACCESS_DENIED;
  ::CloseHandle(Port);
  return false;
}
