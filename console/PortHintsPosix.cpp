#include <glob.h>
#include <grp.h>
#include <sys/stat.h>

#include <cerrno>

#include "console/HintTexts.h"
#include "console/PortHints.h"

namespace {

// USB serial adapters (FTDI, CP210x and the like; CDC ACM), on-board ports, and macOS's call-out
// devices.
const char* const PortPatterns[] = {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyS*", "/dev/cu.*"};

// The group that owns serial ports on most Linux systems.
constexpr const char* UsualPortGroup = "dialout";

// The group that may open the port; the usual one when the device cannot be asked.
std::string PortGroup(const std::string& Port) {
  struct stat Device {};
  if (::stat(Port.c_str(), &Device) != 0) return UsualPortGroup;
  const group* Group = ::getgrgid(Device.st_gid);
  return Group ? Group->gr_name : UsualPortGroup;
}

}  // namespace

std::vector<std::string> SerialPortsPresent() {
  std::vector<std::string> Ports;
  for (const char* Pattern : PortPatterns) {
    glob_t Found{};
    if (::glob(Pattern, 0, nullptr, &Found) == 0)
      Ports.insert(Ports.end(), Found.gl_pathv, Found.gl_pathv + Found.gl_pathc);
    ::globfree(&Found);
  }
  return Ports;
}

std::string PortOpenFailureHint(const std::string& Port, int32_t Code) {
  switch (Code) {
    case ENOENT:
    case ENXIO:
    case ENODEV: return PortsPresentHint();
    case EACCES:
    case EPERM: return PortGroupHintText(PortGroup(Port));
    case EBUSY: return PortHeldByTerminalHintText;
    case ENOTTY: return NoSerialDeviceHintText;
    default: return {};
  }
}
