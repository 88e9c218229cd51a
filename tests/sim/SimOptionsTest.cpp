// The command line of qkl-sim.
#include <gtest/gtest.h>

#include "sim/SimOptions.h"

namespace {

sim::SimOptions Parsed(const std::vector<std::string>& Arguments, std::string* Error = nullptr) {
  sim::SimOptions Options;
  const std::string Text = sim::ParseSimOptions(Arguments, Options);
  if (Error)
    *Error = Text;
  else
    EXPECT_EQ(Text, "");
  return Options;
}

TEST(SimOptions, DefaultsAreARealisticChipOfVersionOne) {
  const sim::SimOptions Options = Parsed({});
  EXPECT_EQ(Options.Chip.Version, 1);
  EXPECT_EQ(Options.Chip.ClockHz, 12e6);
  EXPECT_FALSE(Options.Chip.Instant);
  EXPECT_FALSE(Options.Chip.Paced);
  EXPECT_EQ(Options.Chip.EepromPath, "");
  EXPECT_EQ(Options.Chip.Faults.SilentAfterVerdict, -1);
  EXPECT_FALSE(Options.Log);
}

TEST(SimOptions, EveryOptionReachesItsSetting) {
  const sim::SimOptions Options = Parsed({"--eeprom",
                                          "e.bin",
                                          "--link",
                                          "port",
                                          "--version",
                                          "0",
                                          "--clock",
                                          "20",
                                          "--instant",
                                          "--log",
                                          "--absent",
                                          "--echo",
                                          "--wrong-answer",
                                          "17",
                                          "--garbage-from",
                                          "3",
                                          "--noise-while-busy",
                                          "2",
                                          "--fail-ram",
                                          "--fail-program",
                                          "--fail-verify",
                                          "--silent-after-verdict",
                                          "1",
                                          "--stop-after-bytes",
                                          "100",
                                          "--close-after",
                                          "50"});
  const sim::ChipFaults& Faults = Options.Chip.Faults;
  EXPECT_EQ(Options.Chip.EepromPath, "e.bin");
  EXPECT_EQ(Options.LinkPath, "port");
  EXPECT_EQ(Options.Chip.Version, 0);
  EXPECT_EQ(Options.Chip.ClockHz, 20e6);
  EXPECT_TRUE(Options.Chip.Instant && Options.Log && Faults.Absent && Faults.Echo);
  EXPECT_EQ(Faults.NoiseWhileBusy, 2);
  EXPECT_TRUE(Faults.FailRam && Faults.FailProgram && Faults.FailVerify);
  EXPECT_EQ(Faults.WrongAnswerAt, 17);
  EXPECT_EQ(Faults.GarbageFrom, 3);
  EXPECT_EQ(Faults.SilentAfterVerdict, 1);
  EXPECT_EQ(Faults.StopAfterBytes, 100);
  EXPECT_EQ(Faults.CloseAfterBytes, 50);
}

TEST(SimOptions, BadValuesAreRefusedWithTheReason) {
  std::string Error;
  Parsed({"--version", "256"}, &Error);
  EXPECT_EQ(Error, "--version takes a whole number from 0 to 255, not 256");
  Parsed({"--clock", "12.5"}, &Error);
  EXPECT_EQ(Error, "--clock takes a whole number from 8 to 20, not 12.5");
  Parsed({"--wrong-answer", "0"}, &Error);
  EXPECT_EQ(Error, "--wrong-answer takes a whole number from 1 to 258, not 0");
  Parsed({"--eeprom"}, &Error);
  EXPECT_EQ(Error, "--eeprom needs a value");
  Parsed({"--link", ""}, &Error);
  EXPECT_EQ(Error, "--link needs a path");
  Parsed({"-d"}, &Error);
  EXPECT_EQ(Error, "unknown option -d");
  Parsed({"--paced", "--instant"}, &Error);
  EXPECT_EQ(Error, "--paced keeps the chip's working times; it cannot go with --instant");
  Parsed({"--instant", "--slow-drain", "9600"}, &Error);
  EXPECT_EQ(Error,
            "--slow-drain paces the line and keeps the chip's working times; it cannot go with "
            "--instant");
  Parsed({"--slow-drain", "299"}, &Error);
  EXPECT_EQ(Error, "--slow-drain takes a whole number from 300 to 230400, not 299");
  EXPECT_EQ(Parsed({"--slow-drain", "9600"}).Chip.Faults.SlowLineBaud, 9600);
}

}  // namespace
