#include "RunQkl.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

simtest::ProgramResult RunQkl(const std::vector<std::string>& Args, const std::string& Input) {
  return simtest::RunProgram(QKL_EXECUTABLE, Args, Input);
}

std::string QklPath() {
  char Resolved[PATH_MAX];
  return ::realpath(QKL_EXECUTABLE, Resolved) ? Resolved : QKL_EXECUTABLE;
}

std::string BannerLine() {
  return "Orlas Quillkit Loader v0.07-pre1\r\nCompiled for i386 Win32 at 13:24:16 on 2010/04/28\n";
}

std::string UsageText() {
  return "Program Usage :- qkl (Options) <FileName>\n"
         "-d <filename> - Serial device to use (Default COM2)\n"
         "-p [123] - Program Mode\n"
         "    1 - Ram only (Default)\n"
         "    2 - Eeprom and shutdown\n"
         "    3 - Eeprom and Run\n"
         "-f Load at high speed\n"
         "-t Test mode (Undocumented)\n"
         "-l Test mode (Undocumented)\n"
         "-h  - Show this help\n"
         "-u Read Propellers EEPROM into file <FileName> - WARNING will overwrite it if it exists "
         "with no prompt!\n";
}

TTempDir::TTempDir() {
  std::string Template = (std::filesystem::temp_directory_path() / "qkl-frontend-XXXXXX").string();
  if (::mkdtemp(Template.data())) Path = Template;
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  if (!Path.empty()) std::filesystem::remove_all(Path, Ignored);
}

std::string TTempDir::Write(const std::string& Name, const std::string& Content) const {
  const std::string File = Path + "/" + Name;
  std::ofstream(File, std::ios::binary) << Content;
  return File;
}

std::string TinyImage(bool ChecksumRight) {
  std::string Image(16, '\0');
  Image[6] = 0x10;   // pbase
  Image[8] = 0x10;   // vbase
  Image[10] = 0x18;  // dbase
  Image[12] = 0x10;  // pcurr
  Image[14] = 0x18;  // dcurr
  // The file's bytes must sum to 0x14: the two stack markers add 0xEC.
  const int Sum = 0x10 + 0x10 + 0x18 + 0x10 + 0x18;
  Image[5] = static_cast<char>((0x14 - Sum + (ChecksumRight ? 0 : 1)) & 0xFF);
  return Image;
}
