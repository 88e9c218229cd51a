// Error codes and texts, the closed state, opening and closing.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "SerialTesting.h"
#include "SerialSeam.h"
#include "serial/BlockSerial.h"

TEST(SerialErrors, TableTextsAndOsTexts) {
  const std::pair<int32_t, const char*> Table[] = {
      {0, "OK"},
      {9992, "Instance already in use"},
      {9994, "Instance not yet connected"},
      {9997, "Timeout during operation"},
      {9999, "Receive framing error"},
      {10000, "Receive Overrun Error"},
      {10001, "Receive Queue overflow"},
      {10002, "Receive Parity Error"},
      {10003, "Tranceive Queue is full"},
      {10004, "The device has no modem lines"},
  };
  for (const auto& [Code, Text] : Table) EXPECT_EQ(TBlockSerial::GetErrorDesc(Code), Text) << Code;
  for (const int Code : {ENOENT, -7, 9990, 9991}) {
    const std::string SystemText = std::strerror(Code);  // copied: the next call may reuse it
    EXPECT_EQ(TBlockSerial::GetErrorDesc(Code), SystemText) << Code;
  }
}

TEST(SerialErrors, LineErrorFlagsLastInOrderWinsWithItsText) {
  TBlockSerial Port;
  const std::pair<uint32_t, int32_t> Cases[] = {
      {LineErrFrame, 9999},
      {LineErrOverrun, 10000},
      {LineErrRxOver, 10001},
      {LineErrRxParity, 10002},
      {LineErrTxFull, 10003},
      {LineErrFrame | LineErrRxParity, 10002},
      {LineErrRxOver | LineErrOverrun | LineErrFrame, 10001},
  };
  for (const auto& [Flags, Code] : Cases) {
    Port.CloseDevice();  // on a closed port it only clears the code
    TBlockSerialTestSeam::DecodeLineErrors(Port, Flags);
    EXPECT_EQ(Port.ErrorCode(), Code) << Flags;
    EXPECT_EQ(Port.ErrorDesc(), TBlockSerial::GetErrorDesc(Code)) << "text of the code, " << Flags;
  }
  TBlockSerialTestSeam::DecodeLineErrors(Port, 0);
  EXPECT_EQ(Port.ErrorCode(), 10001) << "no flag leaves the code as it was";
  EXPECT_EQ(Port.ErrorDesc(), "Receive Queue overflow");
}

TEST(SerialClosed, EveryReadAndWriteFailsWith9994) {
  TBlockSerial Port;
  char Buffer[4] = {};
  const std::vector<std::function<void()>> Calls = {
      [&] { Port.ReadByte(10); },          [&] { Port.ReadString(4, 10); },
      [&] { Port.ReadBuffer(Buffer, 4); }, [&] { Port.WriteByte(1); },
      [&] { Port.WriteString("abc"); },
  };
  for (std::size_t I = 0; I < Calls.size(); ++I) {
    Port.CloseDevice();  // clears the code the previous call left
    Calls[I]();
    EXPECT_EQ(Port.ErrorCode(), 9994) << "call " << I;
    EXPECT_EQ(Port.ErrorDesc(), "Instance not yet connected") << "call " << I;
  }
  EXPECT_EQ(Port.ReadByte(10), 0);
  // The link's view gives the same outcome as its result.
  std::string Into;
  int32_t Input = 0;
  int32_t Output = 0;
  const TPortResult Results[] = {
      Port.Read(Into, 4, Port.Now()),
      Port.Write("abc"),
      Port.Purge(),
      Port.SetModemLines(true, true),
      Port.QueueCounts(Input, Output),
  };
  for (const TPortResult& Result : Results) EXPECT_EQ(Result.Code, 9994);
}

TEST(SerialClosed, CloseOfClosedPortOnlyResetsFields) {
  TBlockSerial Port;
  Port.OpenDevice("/dev/ttyS299");  // no such device: closed, with a port number and a code
  ASSERT_EQ(Port.PortNumber(), 299);
  ASSERT_NE(Port.ErrorCode(), 0);
  Port.CloseDevice();
  Port.CloseDevice();
  EXPECT_EQ(Port.ErrorCode(), 0);
  EXPECT_EQ(Port.PortNumber(), -1);
  EXPECT_EQ(TBlockSerialTestSeam::Handle(Port), -1);
  EXPECT_EQ(Port.DeviceName(), "/dev/ttyS299");
}

namespace {

// Opens Path; the port must end up closed with OS error Expected.
void ExpectOpenRefused(const std::string& Path, int Expected) {
  TBlockSerial Port;
  Port.OpenDevice(Path);
  EXPECT_EQ(Port.ErrorCode(), Expected) << Path;
  EXPECT_EQ(Port.ErrorDesc(), std::strerror(Expected)) << Path;
  EXPECT_FALSE(Port.Active()) << Path;
  EXPECT_EQ(TBlockSerialTestSeam::Handle(Port), -1) << Path;
  EXPECT_EQ(Port.DeviceName(), Path);
  EXPECT_EQ(Port.Open(Path).Code, Expected) << "the link's view";
}

}  // namespace

TEST(SerialOpen, MissingDeviceAndNonTerminalsRefusedWithOsError) {
  ExpectOpenRefused("/nonexistent/qkl-no-such-port", ENOENT);
  ExpectOpenRefused("/dev/null", ENOTTY);
  char FilePath[] = "/tmp/qkl-serial-regular-XXXXXX";
  const int File = ::mkstemp(FilePath);
  ASSERT_GE(File, 0);
  ::close(File);
  ExpectOpenRefused(FilePath, ENOTTY);
  ::unlink(FilePath);
}

TEST(SerialOpen, LongNamesAreNotCut) {
  const std::string Path = "/nonexistent/" + std::string(300, 'p');
  TBlockSerial Port;
  Port.OpenDevice(Path);
  EXPECT_EQ(Port.DeviceName(), Path);
  EXPECT_NE(Port.ErrorCode(), 0);
}

TEST(SerialOpen, PortNamesMapToDevicesAndNumbers) {
  struct TCase {
    const char* Name;
    const char* Device;
    int32_t Number;
  };
  // Numbers high enough that no machine has these devices.
  const TCase Cases[] = {
      {"COM200", "/dev/ttyS199", 199},
      {"com300", "/dev/ttyS299", 299},
      {"/dev/ttyS299", "/dev/ttyS299", 299},
      {"/DEV/TTYS298", "/DEV/TTYS298", 298},
      {"/dev/ttySX", "/dev/ttySX", -2},
      {"COM0", "COM0", -1},
      {"COMX", "COMX", -1},
      {"/nonexistent/ttyUSB0", "/nonexistent/ttyUSB0", -1},
  };
  for (const auto& Case : Cases) {
    TBlockSerial Port;
    Port.OpenDevice(Case.Name);
    EXPECT_EQ(Port.DeviceName(), Case.Device) << Case.Name;
    EXPECT_EQ(Port.PortNumber(), Case.Number) << Case.Name;
    EXPECT_EQ(Port.ErrorCode(), ENOENT) << Case.Name;
  }
}

TEST(SerialOpen, OpenConfiguresRawLocalLine) {
  TPtyPair Pair;
  TBlockSerial Port;
  OpenConfigured(Port, Pair, 230400);
  EXPECT_TRUE(Port.Active());
  EXPECT_EQ(Port.DeviceName(), Pair.SlavePath);
  EXPECT_EQ(Port.PortNumber(), -1);
  EXPECT_EQ(Port.LineSettings().BaudRate, 230400u);
  EXPECT_EQ(Port.LineSettings().ByteSize, 8);
  EXPECT_EQ(Port.LineSettings().XonLim, 1024);
  EXPECT_TRUE(Port.LineSettings().DtrDisabled);
  EXPECT_TRUE(Port.LineSettings().RtsOn);

  termios Line{};
  ASSERT_EQ(::tcgetattr(Pair.Slave, &Line), 0);
  EXPECT_EQ(::cfgetospeed(&Line), B230400);
  EXPECT_TRUE(Line.c_cflag & CLOCAL);
  EXPECT_FALSE(Line.c_cflag & HUPCL);
  EXPECT_FALSE(Line.c_cflag & CRTSCTS);
  EXPECT_FALSE(Line.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(Line.c_iflag & (IXON | IXOFF | ICRNL));
  EXPECT_EQ(Line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

TEST(SerialOpen, SecondOpenFailsAndKeepsFirstDevice) {
  TPtyPair Pair;
  TPtyPair Other;
  TBlockSerial Port;
  OpenConfigured(Port, Pair);
  const auto Handle = TBlockSerialTestSeam::Handle(Port);
  Port.OpenDevice(Other.SlavePath);
  EXPECT_EQ(Port.ErrorCode(), 9992);
  EXPECT_EQ(Port.ErrorDesc(), "Instance already in use");
  EXPECT_TRUE(Port.Active());
  EXPECT_EQ(TBlockSerialTestSeam::Handle(Port), Handle);
  EXPECT_EQ(Port.DeviceName(), Pair.SlavePath);
}

TEST(SerialOpen, ExclusiveWhileOpenReleasedOnClose) {
  TPtyPair Pair;
  TBlockSerial First;
  OpenConfigured(First, Pair);
  int Exclusive = 0;
  ASSERT_EQ(::ioctl(Pair.Slave, TIOCGEXCL, &Exclusive), 0);
  EXPECT_EQ(Exclusive, 1);
  if (::geteuid() != 0) {
    TBlockSerial Second;
    Second.OpenDevice(Pair.SlavePath);
    EXPECT_EQ(Second.ErrorCode(), EBUSY);
  }
  First.CloseDevice();
  ASSERT_EQ(::ioctl(Pair.Slave, TIOCGEXCL, &Exclusive), 0);
  EXPECT_EQ(Exclusive, 0) << "a held terminal must not stay exclusive after the close";
}

TEST(SerialOpen, OpenFlushesBothQueuesSeenOnMaster) {
  TPtyPair Pair;
  int On = 1;
  ASSERT_EQ(::ioctl(Pair.Master, TIOCPKT, &On), 0);
  TBlockSerial Port;
  OpenConfigured(Port, Pair);
  const std::string Packet = Pair.Receive(1, 1000);
  ASSERT_EQ(Packet.size(), 1u);
  EXPECT_EQ(Packet[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE),
            TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE);
}

// The fast path's line: a fast rate with two stop bits, read back from the device; a rate the
// device has no code for is refused by its own code and leaves the line as it was.
TEST(SerialOpen, SetLineTakesFastRatesWithTwoStopBitsAndRefusesOthers) {
  TPtyPair Pair;
  TBlockSerial Port;
  OpenConfigured(Port, Pair);
  ASSERT_TRUE(Port.SetLine(3000000, 2).Ok());
  termios Line{};
  ASSERT_EQ(::tcgetattr(Pair.Slave, &Line), 0);
  EXPECT_EQ(::cfgetospeed(&Line), B3000000);
  EXPECT_NE(Line.c_cflag & CSTOPB, 0u);
  const TPortResult Refused = Port.SetLine(12345, 1);
  EXPECT_EQ(Refused.Code, ErrRateRefused);
  EXPECT_EQ(Port.ErrorText(Refused.Code), "The adapter does not take this rate");
  EXPECT_TRUE(Port.Active());
  ASSERT_EQ(::tcgetattr(Pair.Slave, &Line), 0);
  EXPECT_EQ(::cfgetospeed(&Line), B3000000) << "previous settings stay";
  EXPECT_NE(Line.c_cflag & CSTOPB, 0u);
  ASSERT_TRUE(Port.SetLine(115200, 1).Ok());
  ASSERT_EQ(::tcgetattr(Pair.Slave, &Line), 0);
  EXPECT_EQ(Line.c_cflag & CSTOPB, 0u) << "the classic path's 8N1 again";
}

TEST(SerialOpen, RefusedRateKeepsPortOpen) {
  TPtyPair Pair;
  TBlockSerial Port;
  OpenConfigured(Port, Pair);
  Port.Configure(12345, 8, 'N', 0, false, false);
  EXPECT_EQ(Port.ErrorCode(), EINVAL);
  EXPECT_TRUE(Port.Active());
  Port.Configure(115200, 9, 'N', 0, false, false);
  EXPECT_EQ(Port.ErrorCode(), EINVAL);
  termios Line{};
  ASSERT_EQ(::tcgetattr(Pair.Slave, &Line), 0);
  EXPECT_EQ(::cfgetospeed(&Line), B115200) << "previous settings stay";
}

TEST(SerialClose, CloseResetsFieldsKeepsNameAndAllowsReopen) {
  TPtyPair Pair;
  TBlockSerial Port;
  OpenConfigured(Port, Pair);
  Port.CloseDevice();
  EXPECT_FALSE(Port.Active());
  EXPECT_EQ(TBlockSerialTestSeam::Handle(Port), -1);
  EXPECT_EQ(Port.ErrorCode(), 0);
  EXPECT_EQ(Port.DeviceName(), Pair.SlavePath);
  OpenConfigured(Port, Pair);
  EXPECT_TRUE(Port.Active());
}

// A pseudo-terminal has no modem lines; a real port named in QKL_TEST_SERIAL_PORT shows them.
TEST(SerialClose, ModemLinesOfConfigureAndClose) {
  const char* Path = std::getenv("QKL_TEST_SERIAL_PORT");
  if (!Path) GTEST_SKIP() << "set QKL_TEST_SERIAL_PORT to a real serial port to observe RTS/DTR";
  TBlockSerial Port;
  Port.OpenDevice(Path);
  ASSERT_EQ(Port.ErrorCode(), 0) << Port.ErrorDesc();
  Port.Configure(115200, 8, 'N', 0, false, false);
  ASSERT_EQ(Port.ErrorCode(), 0) << Port.ErrorDesc();
  const int Observer = ::dup(static_cast<int>(TBlockSerialTestSeam::Handle(Port)));
  const auto LinesNow = [Observer] {
    int Lines = 0;
    EXPECT_EQ(::ioctl(Observer, TIOCMGET, &Lines), 0);
    return Lines & (TIOCM_RTS | TIOCM_DTR);
  };
  EXPECT_EQ(LinesNow(), TIOCM_RTS) << "after Configure: RTS on, DTR off";
  Port.SetDtr(true);
  EXPECT_EQ(LinesNow(), TIOCM_RTS | TIOCM_DTR);
  Port.CloseDevice();
  EXPECT_EQ(LinesNow(), TIOCM_DTR) << "closing lowers RTS and leaves DTR";
  ::close(Observer);
}
