// Command lines that end before any port is touched: in-process, and against the built qkl
// where the program's path or the top-level error handler shows.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/QklRun.h"

namespace {

using simtest::BannerText;
using simtest::QklPath;
using simtest::UsageText;

struct TCommandCase {
  std::vector<std::string> Args;
  std::string Out;
  int ExitCode;
};

std::string ModeMessage() { return "Load mode must be between 1 & 3\n"; }

std::string Invalid(const std::string& Value) {
  return "An unhandled exception occurred: EConvertError: \"" + Value +
         "\" is an invalid integer\n";
}

std::string Complaint(const std::string& Text) { return QklPath() + ": " + Text + "\n"; }

using TRunner = std::function<simtest::QklRun(const std::vector<std::string>&)>;

simtest::QklRun InProcess(const std::vector<std::string>& Args) {
  return simtest::RunQklInProcess(Args);
}
simtest::QklRun Built(const std::vector<std::string>& Args) { return simtest::RunQkl(Args); }

void ExpectRuns(const std::vector<TCommandCase>& Cases, const TRunner& Run = InProcess) {
  for (const auto& Case : Cases) {
    const simtest::QklRun Result = Run(Case.Args);
    const std::string Line = ::testing::PrintToString(Case.Args);
    EXPECT_EQ(Result.Output, Case.Out) << Line;
    EXPECT_EQ(Result.ExitCode, Case.ExitCode) << Line;
    EXPECT_EQ(Result.Errors, "") << Line;
  }
}

}  // namespace

TEST(CommandLine, HelpAndVersion) {
  const std::string Version = "0.07-pre1\n";
  ExpectRuns({
      {{"-h"}, UsageText(), 1},
      {{"-v"}, BannerText(), 0},
      {{"-vn"}, Version, 0},
      {{"-v", "n"}, Version, 0},
      {{"-v", "-f"}, BannerText(), 0},
      {{"-v", "nn"}, BannerText(), 0},
      {{"-vx"}, BannerText(), 0},
      {{"-d", "COM9", "-h"}, UsageText(), 1},
      {{"-f", "image.bin", "-vn"}, Version, 0},
  });
}

TEST(CommandLine, ProgramModeChecks) {
  ExpectRuns({
      {{"-p", "4"}, ModeMessage(), 1},
      {{"-p", "0"}, ModeMessage(), 1},
      {{"-p", "-1"}, ModeMessage(), 1},
      {{"-p", "0x4"}, ModeMessage(), 1},
      {{"-p", "$1F"}, ModeMessage(), 1},
      {{"-p", "5", "-h"}, ModeMessage(), 1},
      {{"-h", "-p", "5"}, UsageText(), 1},
      {{"-p", "0x2", "-vn"}, "0.07-pre1\n", 0},
      {{"-p", "$2", "-vn"}, "0.07-pre1\n", 0},
      {{"-p", "+3", "-vn"}, "0.07-pre1\n", 0},
  });
}

TEST(CommandLine, ProgramModeThatIsNoIntegerEndsWith217) {
  std::vector<TCommandCase> Cases;
  for (const std::string Value : {"abc", "", " 2", "2 ", "2x", "0x", "$", "-", "1.0", "-0x2", "$-2",
                                  "2147483648", "4294967298", "99999999999", "0x100000002"})
    Cases.push_back({{"-p", Value}, Invalid(Value), 217});
  ExpectRuns(Cases, Built);
}

TEST(CommandLine, IllegalOptionsAndMissingArguments) {
  ExpectRuns(
      {
          {{"-x"}, Complaint("illegal option -- x") + UsageText(), 1},
          {{"-:"}, Complaint("illegal option -- :") + UsageText(), 1},
          {{"-fx"}, Complaint("illegal option -- x") + UsageText(), 1},
          {{"a.bin", "-x", "-h"}, Complaint("illegal option -- x") + UsageText(), 1},
          {{"-d"}, Complaint("option requires an argument -- d") + UsageText(), 1},
          {{"-p"}, Complaint("option requires an argument -- p") + UsageText(), 1},
          {{"-f", "-d"}, Complaint("option requires an argument -- d") + UsageText(), 1},
      },
      Built);
}
