// Whether another program holds a POSIX serial port, as far as the system lets it tell.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>

#include "serial/PortList.h"

namespace {

// UUCP lock folders; a lock file names its owner's process id in ASCII (or, in the oldest
// programs, as a binary int, which is not read here).
const char* const LockFolders[] = {"/var/lock", "/run/lock"};

bool ProcessAlive(long Pid) {
  return Pid > 0 && (::kill(static_cast<pid_t>(Pid), 0) == 0 || errno == EPERM);
}

bool LockedByLiveProcess(const std::string& LockFile) {
  std::ifstream File(LockFile);
  long Pid = 0;
  return File >> Pid && ProcessAlive(Pid);
}

bool HeldByLockFile(const std::string& PortName) {
  const std::string Base = PortName.substr(PortName.find_last_of('/') + 1);
  for (const char* Folder : LockFolders)
    if (LockedByLiveProcess(std::string(Folder) + "/LCK.." + Base)) return true;
  return false;
}

// An exclusive open (TIOCEXCL) refuses this open with EBUSY; an flock shows as EWOULDBLOCK.
bool HeldByOpenDevice(const std::string& PortName) {
  const int Device = ::open(PortName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Device == -1) return errno == EBUSY;
  const bool Locked = ::flock(Device, LOCK_EX | LOCK_NB) == -1 && errno == EWOULDBLOCK;
  ::close(Device);
  return Locked;
}

}  // namespace

bool PortInUse(const std::string& PortName, bool OpenToCheck) {
  return HeldByLockFile(PortName) || (OpenToCheck && HeldByOpenDevice(PortName));
}
