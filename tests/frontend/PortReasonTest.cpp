// The reason line for a port that cannot be opened, for each usual cause.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "frontend/PortReason.h"

namespace {

std::string LineFor(int Code) {
  return PortOpenFailureLine("/dev/ttyUSB7", Code, std::strerror(Code));
}

}  // namespace

TEST(PortReason, NamesThePortTheReasonAndAHint) {
  EXPECT_EQ(LineFor(EACCES),
            "qkl: cannot open port /dev/ttyUSB7: Permission denied; the port belongs to the group "
            "dialout: "
            "add yourself with sudo usermod -aG dialout $USER and log in again");
  EXPECT_EQ(
      LineFor(EBUSY),
      "qkl: cannot open port /dev/ttyUSB7: Device or resource busy; another program holds the port "
      "(a terminal program, or ModemManager); close it and try again");
  EXPECT_EQ(LineFor(ENOENT),
            "qkl: cannot open port /dev/ttyUSB7: No such file or directory; " + PortsPresentHint());
  EXPECT_EQ(LineFor(EIO), "qkl: cannot open port /dev/ttyUSB7: Input/output error");
}

TEST(PortReason, PermissionHintNamesTheGroupThatOwnsTheDevice) {
  // /dev/null belongs to root's group; a port of another group is named by that group.
  EXPECT_NE(PortOpenFailureLine("/dev/null", EACCES, "Permission denied")
                .find("group root: add yourself with sudo "
                      "usermod -aG root $USER"),
            std::string::npos);
}

TEST(PortReason, PortsPresentAreNamedUpToADozen) {
  const std::vector<std::string> Ports = SerialPortsPresent();
  const std::string Hint = PortsPresentHint();
  if (Ports.empty()) {
    EXPECT_EQ(Hint, "no serial ports found");
    return;
  }
  EXPECT_TRUE(Hint.starts_with("serial ports present: " + Ports.front())) << Hint;
  for (const std::string& Port : Ports)
    EXPECT_TRUE(Port.starts_with("/dev/tty") || Port.starts_with("/dev/cu.")) << Port;
  EXPECT_EQ(Hint.ends_with(" more"), Ports.size() > 12) << Hint;
}
