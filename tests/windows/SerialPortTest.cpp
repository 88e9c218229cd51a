// The Windows serial port on a live line: reads, writes, time-outs, buffering and the modem
// lines, against a far end that echoes or one that never reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SerialSeam.h"
#include "WinePort.h"
#include "serial/BlockSerial.h"
#include "serial/PortList.h"

namespace {

class SerialWin32Echo : public ::testing::Test {
protected:
  void SetUp() override {
    Name = TestPort("QKL_TEST_ECHO_PORT");
    if (Name.empty()) GTEST_SKIP() << "set QKL_TEST_ECHO_PORT to a port whose far end echoes";
    ASSERT_NO_FATAL_FAILURE(OpenConfigured(Port, Name));
  }

  // Sends Bytes through the echo and waits until they are queued again.
  void Echo(const std::string& Bytes) {
    Port.WriteString(Bytes);
    ASSERT_EQ(Port.ErrorCode(), 0) << Port.ErrorDesc();
    ASSERT_TRUE(WaitQueued(Port, static_cast<int32_t>(Bytes.size())));
  }

  std::string Name;
  TBlockSerial Port;
};

}  // namespace

TEST_F(SerialWin32Echo, OpenedDeviceIsTheNumberedPort) {
  EXPECT_TRUE(Port.Active());
  EXPECT_EQ(Port.DeviceName(), "\\\\.\\COM" + std::to_string(Port.PortNumber() + 1));
  EXPECT_EQ(Port.LineSettings().BaudRate, 115200u);
}

TEST_F(SerialWin32Echo, ConfigureLeavesDtrOffRtsOnAndCloseLowersOnlyRts) {
  if (LastModemLines().empty()) GTEST_SKIP() << "set QKL_MODEM_LOG to see the modem lines";
  EXPECT_EQ(LastModemLines(), "DTR=0 RTS=1");
  Port.SetDtr(true);
  EXPECT_EQ(LastModemLines(), "DTR=1 RTS=1");
  EXPECT_EQ(Port.ErrorCode(), 0);
  Port.CloseDevice();
  EXPECT_EQ(LastModemLines(), "DTR=1 RTS=0");
}

// A terminal after a load: the lines left on at the close are still on after the next open's
// set-up (the driver's DTR and RTS control is kept).
TEST_F(SerialWin32Echo, LeftLinesStayThroughCloseAndTheNextSetUp) {
  if (LastModemLines().empty()) GTEST_SKIP() << "set QKL_MODEM_LOG to see the modem lines";
  Port.SetDtr(true);
  Port.LeaveModemLines(true);
  Port.CloseDevice();
  EXPECT_EQ(LastModemLines(), "DTR=1 RTS=1");
  TBlockSerial Again;
  Again.LeaveModemLines(true);
  ASSERT_NO_FATAL_FAILURE(OpenConfigured(Again, Name));
  EXPECT_EQ(LastModemLines(), "DTR=1 RTS=1");
}

TEST_F(SerialWin32Echo, TheRegistryListsThePort) {
  const std::vector<TPortInfo> Ports = ListSerialPorts();
  EXPECT_TRUE(std::any_of(Ports.begin(), Ports.end(),
                          [this](const TPortInfo& Listed) { return Listed.PortName == Name; }))
      << Ports.size() << " ports listed";
}

TEST_F(SerialWin32Echo, WrittenBytesComeBack) {
  Port.WriteString("hello");
  EXPECT_EQ(Port.ReadString(5, 2000), "hello");
  EXPECT_EQ(Port.ErrorCode(), 0);
}

TEST_F(SerialWin32Echo, BlocksInPiecesComeBackWhole) {
  std::string Block(4096, '\0');
  for (std::size_t I = 0; I < Block.size(); ++I) Block[I] = static_cast<char>(I * 7 + I / 256);
  for (std::size_t At = 0; At < Block.size(); At += 512) {
    ASSERT_TRUE(Port.Write(std::string_view(Block).substr(At, 512)).Ok()) << Port.ErrorDesc();
  }
  EXPECT_EQ(Port.ReadString(static_cast<int32_t>(Block.size()), 2000), Block);
}

TEST_F(SerialWin32Echo, ReadByteTimesOutAfterItsWait) {
  const auto Start = TClock::now();
  EXPECT_EQ(Port.ReadByte(50), 0);
  const auto Elapsed = MsSince(Start);
  EXPECT_EQ(Port.ErrorCode(), 9997);
  EXPECT_GE(Elapsed, 45) << "the wait for a character ended early";
  EXPECT_LT(Elapsed, 5000);
}

TEST_F(SerialWin32Echo, ReadWithADeadlineAnswersQueuedInputOrTimesOut) {
  std::string Into;
  const auto Start = TClock::now();
  EXPECT_TRUE(Port.Read(Into, 16, Port.Now() + std::chrono::milliseconds(50)).TimedOut());
  EXPECT_GE(MsSince(Start), 45);
  Port.WriteByte('W');
  EXPECT_TRUE(Port.Read(Into, 16, Port.Now() + std::chrono::seconds(5)).Ok());
  EXPECT_EQ(Into, "W");
}

TEST_F(SerialWin32Echo, BytesOfOneReadServeLaterReadBytes) {
  ASSERT_NO_FATAL_FAILURE(Echo("\x01\x02\x03"));
  EXPECT_EQ(Port.ReadByte(50), 1);
  EXPECT_EQ(TBlockSerialTestSeam::LineBuffer(Port), "\x02\x03");
  EXPECT_EQ(Port.QueuedInput(), 0) << "one device read took every queued byte";
  EXPECT_EQ(Port.ReadByte(0), 2);
  EXPECT_EQ(Port.ReadByte(0), 3);
  EXPECT_EQ(Port.ErrorCode(), 0);
}

TEST_F(SerialWin32Echo, SurplusWaitsInLineBufferUntilPurged) {
  ASSERT_NO_FATAL_FAILURE(Echo("abcdef"));
  EXPECT_EQ(Port.ReadString(4, 100), "abcd");
  EXPECT_EQ(TBlockSerialTestSeam::LineBuffer(Port), "ef");
  Port.PurgeBuffers();
  EXPECT_EQ(Port.ErrorCode(), 0);
  EXPECT_TRUE(TBlockSerialTestSeam::LineBuffer(Port).empty());
}

TEST_F(SerialWin32Echo, ShortStringTimesOutAndIsLost) {
  ASSERT_NO_FATAL_FAILURE(Echo("12345"));
  EXPECT_EQ(Port.ReadString(1024, 10), "");
  EXPECT_EQ(Port.ErrorCode(), 9997);
}

TEST_F(SerialWin32Echo, DrainOfAMovingLineWaitsPastDeadlockTimeoutForTheQueuedBytes) {
  if (!TransmitterModelled("QKL_PACED_LINE")) GTEST_SKIP() << "set QKL_PACED_LINE under Wine";
  const std::string Bytes(2880, 'd');  // 250 ms at 115200 baud, ten bits a byte
  const auto Start = TClock::now();
  Port.WriteString(Bytes);
  ASSERT_EQ(Port.ErrorCode(), 0) << Port.ErrorDesc();
  Port.DeadlockTimeout = 100;
  Port.FlushOutput();
  EXPECT_EQ(Port.ErrorCode(), 0) << "the bound leaves the queued bytes their time on the line";
  EXPECT_GE(MsSince(Start), 240) << "the drain ended before the bytes were sent";
  EXPECT_EQ(Port.ReadString(static_cast<int32_t>(Bytes.size()), 2000), Bytes);
}

TEST_F(SerialWin32Echo, SecondOpenOfTheSamePortIsRefused) {
  if (RunningUnderWine()) GTEST_SKIP() << "Wine does not refuse a second open of a COM port";
  TBlockSerial Second;
  Second.OpenDevice(Name);
  EXPECT_EQ(Second.ErrorCode(), 5) << "access denied";
  EXPECT_FALSE(Second.Active());
}

TEST(SerialWin32Mute, WriteToAStalledLineIsAbortedAfterDeadlockTimeout) {
  const std::string Name = TestPort("QKL_TEST_MUTE_PORT");
  if (Name.empty()) GTEST_SKIP() << "set QKL_TEST_MUTE_PORT to a port whose far end never reads";
  TBlockSerial Port;
  ASSERT_NO_FATAL_FAILURE(OpenConfigured(Port, Name));
  Port.DeadlockTimeout = 200;
  const std::string Chunk(65536, 'x');
  TPortResult Written;
  int64_t LastCallMs = 0;
  for (int Attempt = 0; Attempt < 64 && Written.Ok(); ++Attempt) {
    const auto Start = TClock::now();
    Written = Port.Write(Chunk);
    LastCallMs = MsSince(Start);
  }
  EXPECT_TRUE(Written.TimedOut());
  EXPECT_GE(LastCallMs, 190);
  const auto Start = TClock::now();
  Port.CloseDevice();
  EXPECT_LT(MsSince(Start), 5000);
}

TEST(SerialWin32Mute, DrainOfAStuckLineEndsWithATimeOutWithinItsBound) {
  const std::string Name = TestPort("QKL_TEST_MUTE_PORT");
  if (Name.empty()) GTEST_SKIP() << "set QKL_TEST_MUTE_PORT to a port whose output never leaves";
  if (!TransmitterModelled("QKL_STALLED_LINE")) GTEST_SKIP() << "set QKL_STALLED_LINE under Wine";
  TBlockSerial Port;
  ASSERT_NO_FATAL_FAILURE(OpenConfigured(Port, Name));
  Port.WriteString(std::string(115, 's'));  // 10 ms at 115200 baud
  ASSERT_EQ(Port.ErrorCode(), 0) << Port.ErrorDesc();
  Port.DeadlockTimeout = 200;
  constexpr int64_t BoundMs = 200 + 10;
  constexpr int64_t SlackMs = 300;  // polling and a loaded machine
  auto Start = TClock::now();
  Port.FlushOutput();
  const auto Elapsed = MsSince(Start);
  EXPECT_EQ(Port.ErrorCode(), 9997);
  EXPECT_GE(Elapsed, 200);
  EXPECT_LT(Elapsed, BoundMs + SlackMs);

  Start = TClock::now();
  Port.FlushOutput();
  EXPECT_EQ(Port.ErrorCode(), 9997) << "the bytes are still queued";
  EXPECT_LT(MsSince(Start), BoundMs + SlackMs);
}
