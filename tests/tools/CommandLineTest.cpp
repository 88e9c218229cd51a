// qkl-asm as the build runs it, and the header that qkl_embed_image generates.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "SmallestProgramImage.h"
#include "tests/support/TempFolder.h"
#include "tools/Assembler.h"
#include "tools/ProgramImage.h"

namespace {

namespace fs = std::filesystem;

class CommandLine : public ::testing::Test {
 protected:
  fs::path write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
    return dir_ / name;
  }

  static std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs qkl-asm with `arguments`; its standard error lands in `errors_`.
  int run(const std::string& arguments) {
    fs::path errorFile = dir_ / "stderr.txt";
    std::string command = std::string(QKL_ASM_PATH) + " " + arguments + " 2>" + errorFile.string();
    int status = std::system(command.c_str());
    errors_ = read(errorFile);
    fs::remove(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> filesInDir() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  const simtest::TempFolder folder_;
  const fs::path& dir_ = folder_.Root();
  std::string errors_;
};

TEST_F(CommandLine, WritesTheImageAndTheHeader) {
  fs::path source = write("blink.spin", "DAT org 0\nentry jmp #entry\n");
  ASSERT_EQ(run(source.string() + " -o " + (dir_ / "out.binary").string() + " --header " +
                (dir_ / "Out.h").string() + " --symbol OutImage"),
            0)
      << errors_;
  qkl::pasm::Assembly assembly = qkl::pasm::assemble("DAT org 0\nentry jmp #entry\n");
  std::vector<std::uint8_t> image = qkl::pasm::buildProgramImage(assembly.cogCode, {12000000, 0});
  EXPECT_EQ(read(dir_ / "out.binary"), std::string(image.begin(), image.end()));
  std::string header = read(dir_ / "Out.h");
  EXPECT_NE(header.find("#pragma once"), std::string::npos);
  EXPECT_NE(
      header.find("inline constexpr unsigned char OutImage[] = {\n    0x00, 0x1B, 0xB7, 0x00,"),
      std::string::npos);
  EXPECT_EQ(filesInDir(), (std::vector<std::string>{"Out.h", "blink.spin", "out.binary"}));
}

TEST_F(CommandLine, ErrorsNameFileLineAndColumnAndLeaveNoOutput) {
  fs::path source = write("bad.spin", "DAT org 0\n  mvo 1, 2\n  mov 1, #512\n");
  EXPECT_EQ(run(source.string() + " -o " + (dir_ / "out.binary").string() + " --header " +
                (dir_ / "Out.h").string() + " --symbol OutImage"),
            1);
  EXPECT_EQ(errors_, source.string() + ":2:3: error: unknown mnemonic 'mvo'\n" + source.string() +
                         ":3:10: error: immediate #512 is out of 0..511\n");
  EXPECT_EQ(filesInDir(), std::vector<std::string>{"bad.spin"});
}

TEST_F(CommandLine, RefusesBadArgumentsAndMissingFiles) {
  fs::path source = write("ok.spin", "DAT nop\n");
  EXPECT_EQ(run(source.string()), 2);
  EXPECT_NE(errors_.find("usage: qkl-asm"), std::string::npos);
  EXPECT_EQ(run(source.string() + " --header x.h"), 2);
  EXPECT_EQ(run(source.string() + " --header x.h --symbol 9x"), 2);
  EXPECT_EQ(errors_, "qkl-asm: --symbol 9x is not a C++ identifier\n");
  EXPECT_EQ(run((dir_ / "missing.spin").string() + " -o " + (dir_ / "m.binary").string()), 1);
  EXPECT_EQ(errors_, "qkl-asm: cannot read " + (dir_ / "missing.spin").string() + "\n");
  EXPECT_EQ(run(source.string() + " -o " + (dir_ / "no" / "such" / "dir.binary").string()), 1);
  EXPECT_NE(errors_.find("cannot write"), std::string::npos);
  EXPECT_EQ(filesInDir(), std::vector<std::string>{"ok.spin"});
}

TEST(EmbeddedImage, TheBuildEmbedsTheAssembledProgram) {
  const std::vector<std::uint8_t> known = {0x00, 0x1B, 0xB7, 0x00, 0x00, 0x06, 0x10, 0x00, 0x24,
                                           0x00, 0x2C, 0x00, 0x1C, 0x00, 0x30, 0x00, 0x14, 0x00,
                                           0x02, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7C,
                                           0x5C, 0x34, 0xC7, 0x08, 0x35, 0x2C, 0x32, 0x00, 0x00};
  EXPECT_EQ(
      std::vector<std::uint8_t>(std::begin(SmallestProgramImage), std::end(SmallestProgramImage)),
      known);
}

}  // namespace
