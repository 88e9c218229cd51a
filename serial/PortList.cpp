// Portable part of the port listing: the roots from the environment and the order of the list.
#include "serial/PortList.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool IsDigit(char Ch) { return Ch >= '0' && Ch <= '9'; }

// Compares digit runs by their value, so that COM9 comes before COM10.
bool NaturalLess(const std::string& Left, const std::string& Right) {
  std::size_t L = 0;
  std::size_t R = 0;
  while (L < Left.size() && R < Right.size()) {
    if (IsDigit(Left[L]) && IsDigit(Right[R])) {
      const std::size_t LeftEnd = Left.find_first_not_of("0123456789", L);
      const std::size_t RightEnd = Right.find_first_not_of("0123456789", R);
      const std::string LeftRun = Left.substr(L, LeftEnd - L);
      const std::string RightRun = Right.substr(R, RightEnd - R);
      if (LeftRun.size() != RightRun.size()) return LeftRun.size() < RightRun.size();
      if (LeftRun != RightRun) return LeftRun < RightRun;
      L = std::min(LeftEnd, Left.size());
      R = std::min(RightEnd, Right.size());
    } else {
      if (Left[L] != Right[R]) return Left[L] < Right[R];
      ++L;
      ++R;
    }
  }
  return Left.size() - L < Right.size() - R;
}

}  // namespace

TPortListRoots PortListRootsFromEnvironment() {
  TPortListRoots Roots;
  if (const char* ClassTty = std::getenv("QKL_SYSFS_TTY")) Roots.ClassTty = ClassTty;
  if (const char* DeviceDir = std::getenv("QKL_DEV_DIR")) Roots.DeviceDir = DeviceDir;
  return Roots;
}

void SortByPortName(std::vector<TPortInfo>& Ports) {
  std::sort(Ports.begin(), Ports.end(), [](const TPortInfo& Left, const TPortInfo& Right) {
    return NaturalLess(Left.PortName, Right.PortName);
  });
}
