// Reads, writes, time-outs and buffering over a pseudo-terminal pair.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "SerialTesting.h"
#include "SerialSeam.h"
#include "serial/BlockSerial.h"

namespace {

class SerialPty : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenConfigured(Port, Pair)); }

  // Sends Bytes from the far end and waits until they are queued on the port.
  void Arrive(const std::string& Bytes) {
    Pair.Send(Bytes);
    ASSERT_TRUE(WaitQueued(Port, static_cast<int32_t>(Bytes.size())));
  }

  TPtyPair Pair;
  TBlockSerial Port;
};

}  // namespace

TEST_F(SerialPty, ReadByteTimesOutAfterItsWait) {
  const auto Start = TClock::now();
  EXPECT_EQ(Port.ReadByte(50), 0);
  const auto Elapsed = MsSince(Start);
  EXPECT_EQ(Port.ErrorCode(), 9997);
  EXPECT_EQ(Port.ErrorDesc(), "Timeout during operation");
  EXPECT_GE(Elapsed, 45);
  EXPECT_LT(Elapsed, 2000);
}

TEST_F(SerialPty, BytesOfOneReadServeLaterReadBytes) {
  Arrive("\x01\x02\x03");
  EXPECT_EQ(Port.ReadByte(50), 1);
  EXPECT_EQ(TBlockSerialTestSeam::LineBuffer(Port), "\x02\x03");
  EXPECT_EQ(Port.QueuedInput(), 0) << "one device read took every queued byte";
  const auto Start = TClock::now();
  EXPECT_EQ(Port.ReadByte(0), 2);
  EXPECT_EQ(Port.ReadByte(0), 3);
  EXPECT_EQ(Port.ErrorCode(), 0);
  EXPECT_LT(MsSince(Start), 50);
  EXPECT_TRUE(TBlockSerialTestSeam::LineBuffer(Port).empty());
}

TEST_F(SerialPty, ReadByteWaitsForALateByte) {
  const auto Start = TClock::now();
  std::thread Sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Pair.Send("Z");
  });
  const uint8_t Got = Port.ReadByte(2000);
  Sender.join();
  EXPECT_EQ(Got, 'Z');
  EXPECT_EQ(Port.ErrorCode(), 0);
  EXPECT_LT(MsSince(Start), 1500);
}

// The link's read: what is queued, at most Max bytes, the rest kept for the next read; a
// time-out only when nothing came by the deadline.
TEST_F(SerialPty, ReadWithADeadlineTakesWhatIsQueuedOrTimesOut) {
  const std::string Bytes(300, '\xF9');
  Arrive(Bytes);
  std::string Into = "x";
  EXPECT_TRUE(Port.Read(Into, 200, Port.Now() + std::chrono::milliseconds(50)).Ok());
  EXPECT_EQ(Into, "x" + Bytes.substr(0, 200));
  Into.clear();
  EXPECT_TRUE(Port.Read(Into, 4096, Port.Now()).Ok()) << "the rest is there at once";
  EXPECT_EQ(Into, Bytes.substr(200));
  const auto Start = TClock::now();
  EXPECT_TRUE(Port.Read(Into, 4096, Port.Now() + std::chrono::milliseconds(40)).TimedOut());
  EXPECT_GE(MsSince(Start), 35);
  EXPECT_EQ(Into, Bytes.substr(200));
}

TEST_F(SerialPty, ReadStringKeepsSurplusUntilPurged) {
  Arrive("abcdef");
  EXPECT_EQ(Port.ReadString(4, 50), "abcd");
  EXPECT_EQ(TBlockSerialTestSeam::LineBuffer(Port), "ef");
  EXPECT_EQ(Port.ReadString(1, 50), "e");
  EXPECT_EQ(TBlockSerialTestSeam::LineBuffer(Port), "f");
  Port.PurgeBuffers();
  EXPECT_TRUE(TBlockSerialTestSeam::LineBuffer(Port).empty());
  EXPECT_EQ(Port.ReadString(1, 10), "");
  EXPECT_EQ(Port.ErrorCode(), 9997);
}

TEST_F(SerialPty, ReadStringGathersChunks) {
  Arrive("12");
  std::thread Sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Pair.Send("345");
  });
  EXPECT_EQ(Port.ReadString(5, 2000), "12345");
  Sender.join();
  EXPECT_EQ(Port.ErrorCode(), 0);
}

TEST_F(SerialPty, ShortReadStringTimesOutAndLosesItsBytes) {
  Arrive("12345");
  const auto Start = TClock::now();
  EXPECT_EQ(Port.ReadString(1024, 10), "");
  EXPECT_EQ(Port.ErrorCode(), 9997);
  EXPECT_GE(MsSince(Start), 9);
  EXPECT_TRUE(TBlockSerialTestSeam::LineBuffer(Port).empty());
}

TEST_F(SerialPty, ReadStringOfNothingDoesNotWait) {
  const auto Start = TClock::now();
  EXPECT_EQ(Port.ReadString(0, 1000), "");
  EXPECT_EQ(Port.ErrorCode(), 0);
  EXPECT_LT(MsSince(Start), 500);
}

TEST_F(SerialPty, WritesReachTheFarEnd) {
  Port.WriteString("hello");
  Port.WriteByte(0xF9);
  Port.WriteString("");
  EXPECT_EQ(Port.ErrorCode(), 0);
  Port.FlushOutput();
  EXPECT_EQ(Port.ErrorCode(), 0);
  EXPECT_EQ(Pair.Receive(6, 1000), "hello\xF9");
  const std::string Binary("\x00\x0D\x0A\x11\x13\xFF", 6);
  EXPECT_TRUE(Port.Write(Binary).Ok());
  EXPECT_EQ(Pair.Receive(6, 1000), Binary) << "raw line: no translation, no flow control";
}

TEST_F(SerialPty, WriteThatCannotDrainTimesOutAndFlushIsBounded) {
  Port.DeadlockTimeout = 300;
  const std::string Big(1 << 20, 'x');
  auto Start = TClock::now();
  EXPECT_TRUE(Port.Write(Big).TimedOut());
  auto Elapsed = MsSince(Start);
  EXPECT_GE(Elapsed, 280);
  EXPECT_LT(Elapsed, 5000);

  Start = TClock::now();
  Port.FlushOutput();
  EXPECT_LT(MsSince(Start), 5000);
  EXPECT_TRUE(Port.ErrorCode() == 0 || Port.ErrorCode() == 9997) << Port.ErrorCode();
}

TEST_F(SerialPty, VanishedFarEndIsAnErrorNotAHang) {
  ::close(Pair.Master);
  Pair.Master = -1;
  const auto Start = TClock::now();
  Port.ReadByte(100);
  EXPECT_NE(Port.ErrorCode(), 0);
  Port.WriteString("x");
  EXPECT_NE(Port.ErrorCode(), 0);
  EXPECT_LT(MsSince(Start), 5000);
  Port.CloseDevice();
  EXPECT_FALSE(Port.Active());
}

TEST_F(SerialPty, HangUpDuringTheWaitIsReportedAsItsErrorNotATimeOut) {
  const auto Start = TClock::now();
  std::thread HangUp([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ::close(Pair.Master);
    Pair.Master = -1;
  });
  EXPECT_EQ(Port.ReadByte(2000), 0);
  HangUp.join();
  EXPECT_EQ(Port.ErrorCode(), EIO);
  EXPECT_EQ(Port.ErrorDesc(), std::strerror(EIO));
  EXPECT_LT(MsSince(Start), 2000) << "a hang-up is no reason to wait out the time-out";
  std::string Into;
  EXPECT_EQ(Port.Read(Into, 1, Port.Now() + std::chrono::seconds(1)).Code, EIO)
      << "a failure, never a time-out";
}

TEST_F(SerialPty, ReadThatMeetsAHangUpEndsWithAnError) {
  // Closing the master hangs the terminal up: reads then give 0 bytes while poll reports it
  // ready. The read runs in a child process, so that one that never returns fails the test.
  ::close(Pair.Master);
  Pair.Master = -1;
  const pid_t Child = ::fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    char Bytes[30];
    Port.ReadBuffer(Bytes, sizeof Bytes);
    ::_exit(Port.ErrorCode() != 0 ? 0 : 1);
  }
  int Status = 0;
  const auto Start = TClock::now();
  while (::waitpid(Child, &Status, WNOHANG) == 0) {
    if (MsSince(Start) > 5000) {
      ::kill(Child, SIGKILL);
      ::waitpid(Child, &Status, 0);
      FAIL() << "the read of a hung-up terminal did not return";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 0) << "the read gave no error";
}
