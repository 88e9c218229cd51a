// Port names, device paths and system error texts of the Windows serial port.
#include <gtest/gtest.h>

#include "SerialSeam.h"
#include "serial/BlockSerial.h"

namespace {
constexpr int32_t ErrorFileNotFound = 2;
}

TEST(SerialWin32Names, ComNamesOpenNumberedDevices) {
  struct TCase {
    const char* Name;
    const char* Device;
    int32_t Number;
  };
  // Numbers high enough that no machine has these ports.
  const TCase Cases[] = {
      {"COM200", "\\\\.\\COM200", 199},
      {"com210", "\\\\.\\COM210", 209},
      {"/dev/ttyS219", "\\\\.\\COM220", 219},
      {"/DEV/TTYS229", "\\\\.\\COM230", 229},
      {"COM0", "COM0", -1},
      {"COMX", "COMX", -1},
      {"\\\\.\\COM240", "\\\\.\\COM240", -1},
      {"/dev/ttySX", "\\\\.\\COM-1", -2},
  };
  for (const auto& Case : Cases) {
    TBlockSerial Port;
    Port.OpenDevice(Case.Name);
    EXPECT_EQ(Port.DeviceName(), Case.Device) << Case.Name;
    EXPECT_EQ(Port.PortNumber(), Case.Number) << Case.Name;
    EXPECT_FALSE(Port.Active()) << Case.Name;
    EXPECT_NE(Port.ErrorCode(), 0) << Case.Name;
  }
}

TEST(SerialWin32Names, MissingPortFailsWithSystemErrorAndText) {
  TBlockSerial Port;
  Port.OpenDevice("COM201");
  EXPECT_EQ(Port.ErrorCode(), ErrorFileNotFound);
  EXPECT_EQ(Port.ErrorDesc(), TBlockSerial::GetErrorDesc(ErrorFileNotFound));
  EXPECT_EQ(TBlockSerialTestSeam::Handle(Port), -1);
  EXPECT_EQ(Port.Open("COM201").Code, ErrorFileNotFound) << "the link's view";
}

TEST(SerialWin32Names, SystemTextsHaveNoLineEnd) {
  for (const int32_t Code : {2, 5, 87, 995}) {
    const std::string Text = TBlockSerial::GetErrorDesc(Code);
    ASSERT_FALSE(Text.empty()) << Code;
    EXPECT_NE(Text.back(), '\n') << Code;
    EXPECT_NE(Text.back(), '\r') << Code;
  }
  EXPECT_NE(TBlockSerial::GetErrorDesc(2), TBlockSerial::GetErrorDesc(5));
  EXPECT_EQ(TBlockSerial::GetErrorDesc(ErrTimeout), "Timeout during operation");
}
