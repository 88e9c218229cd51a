// The reason lines on standard error: a port that cannot be opened, for each usual cause, and
// a reset the adapter refuses.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sstream>

#include "frontend/Console.h"
#include "frontend/PortReason.h"
#include "link/Propeller.h"
#include "tests/support/VirtualLine.h"

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

// The adapter's refusal of the reset reaches standard error once, and only a refusal: a port
// without modem lines (a pseudo-terminal) leaves standard error silent. Standard output and the
// detection itself are as without the refusal.
TEST(PortReason, RefusedResetIsSaidOnceOnStandardError) {
  for (const int32_t Answer : {int32_t{EIO}, int32_t{ErrNoModemLines}}) {
    TVirtualLine Line("/dev/ttyUSB7");
    Line.AnswerModemLines({Answer});
    std::ostringstream Out;
    std::ostringstream Err;
    TConsole Console(nullptr, Out, Err);
    TPropeller Link(Console.Out, {}, Line.HostPort());
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
      EXPECT_EQ(Link.FindPropeller(Line.PortName()), 0);
      Console.ReportPortTrouble(Link, Line.PortName());
    }
    EXPECT_EQ(Out.str(), "");
    EXPECT_EQ(Err.str(), Answer == EIO ? "qkl: could not reset the chip on /dev/ttyUSB7: the "
                                         "adapter refused DTR: " +
                                             std::string(std::strerror(EIO)) + "\n"
                                       : "");
  }
}
