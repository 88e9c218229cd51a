// The command line of qkl-sim.
#include <gtest/gtest.h>

#include "sim/SimOptions.h"

namespace qkl::sim::testing {
namespace {

SimOptions Parsed(const std::vector<std::string>& arguments, std::string* error = nullptr) {
  SimOptions options;
  const std::string text = ParseSimOptions(arguments, options);
  if (error)
    *error = text;
  else
    EXPECT_EQ(text, "");
  return options;
}

TEST(SimOptions, DefaultsAreARealisticChipOfVersionOne) {
  const SimOptions options = Parsed({});
  EXPECT_EQ(options.chip.version, 1);
  EXPECT_EQ(options.chip.clockHz, 12e6);
  EXPECT_EQ(options.chip.pageWriteSeconds, 5e-3);
  EXPECT_EQ(options.chip.crystalHz, 5e6);
  EXPECT_EQ(options.chip.adapterLatencyMs, 1);
  EXPECT_EQ(options.chip.faults.corruptByteAfter, -1);
  EXPECT_FALSE(options.chip.instant);
  EXPECT_FALSE(options.chip.paced);
  EXPECT_EQ(options.chip.eepromPath, "");
  EXPECT_EQ(options.chip.faults.silentAfterVerdict, -1);
  EXPECT_FALSE(options.log);
}

TEST(SimOptions, EveryOptionReachesItsSetting) {
  const SimOptions options = Parsed({"--eeprom",
                                     "e.bin",
                                     "--link",
                                     "port",
                                     "--version",
                                     "0",
                                     "--clock",
                                     "20",
                                     "--page-write-ms",
                                     "15",
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
                                     "50",
                                     "--crystal",
                                     "6.25",
                                     "--corrupt-byte",
                                     "7"});
  const ChipFaults& faults = options.chip.faults;
  EXPECT_EQ(options.chip.eepromPath, "e.bin");
  EXPECT_EQ(options.linkPath, "port");
  EXPECT_EQ(options.chip.version, 0);
  EXPECT_EQ(options.chip.clockHz, 20e6);
  EXPECT_EQ(options.chip.pageWriteSeconds, 15e-3);
  EXPECT_TRUE(options.chip.instant && options.log && faults.absent && faults.echo);
  EXPECT_EQ(faults.noiseWhileBusy, 2);
  EXPECT_TRUE(faults.failRam && faults.failProgram && faults.failVerify);
  EXPECT_EQ(faults.wrongAnswerAt, 17);
  EXPECT_EQ(faults.garbageFrom, 3);
  EXPECT_EQ(faults.silentAfterVerdict, 1);
  EXPECT_EQ(faults.stopAfterBytes, 100);
  EXPECT_EQ(faults.closeAfterBytes, 50);
  EXPECT_EQ(options.chip.crystalHz, 6.25e6);
  EXPECT_EQ(faults.corruptByteAfter, 7);
}

TEST(SimOptions, BadValuesAreRefusedWithTheReason) {
  std::string error;
  Parsed({"--version", "256"}, &error);
  EXPECT_EQ(error, "--version takes a whole number from 0 to 255, not 256");
  Parsed({"--clock", "12.5"}, &error);
  EXPECT_EQ(error, "--clock takes a whole number from 8 to 20, not 12.5");
  Parsed({"--page-write-ms", "21"}, &error);
  EXPECT_EQ(error, "--page-write-ms takes a whole number from 1 to 20, not 21");
  Parsed({"--wrong-answer", "0"}, &error);
  EXPECT_EQ(error, "--wrong-answer takes a whole number from 1 to 258, not 0");
  Parsed({"--eeprom"}, &error);
  EXPECT_EQ(error, "--eeprom needs a value");
  Parsed({"--link", ""}, &error);
  EXPECT_EQ(error, "--link needs a path");
  Parsed({"-d"}, &error);
  EXPECT_EQ(error, "unknown option -d");
  Parsed({"--paced", "--instant"}, &error);
  EXPECT_EQ(error, "--paced keeps the chip's working times; it cannot go with --instant");
  Parsed({"--instant", "--slow-drain", "9600"}, &error);
  EXPECT_EQ(error,
            "--slow-drain paces the line and keeps the chip's working times; it cannot go with "
            "--instant");
  Parsed({"--slow-drain", "299"}, &error);
  EXPECT_EQ(error, "--slow-drain takes a whole number from 300 to 230400, not 299");
  EXPECT_EQ(Parsed({"--slow-drain", "9600"}).chip.faults.slowLineBaud, 9600);
  for (const char* crystal : {"80.5", "-1", "5,5", "5e6", "nan", ""}) {
    Parsed({"--crystal", crystal}, &error);
    EXPECT_EQ(
        error,
        std::string("--crystal takes a number of MHz from 0 (none fitted) to 80, not ") + crystal);
  }
  EXPECT_EQ(Parsed({"--crystal", "0"}).chip.crystalHz, 0);
  Parsed({"--adapter-latency-ms", "16"}, &error);
  EXPECT_EQ(error, "--adapter-latency-ms times the paced line; it needs --paced");
  EXPECT_EQ(Parsed({"--paced", "--adapter-latency-ms", "16"}).chip.adapterLatencyMs, 16);
}

}  // namespace
}  // namespace qkl::sim::testing
