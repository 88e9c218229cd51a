// Running the built qkl as a user would, and the texts and files its tests share.
#pragma once

#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

simtest::ProgramResult RunQkl(const std::vector<std::string>& Args, const std::string& Input = "");

// The program path that qkl reports in its messages.
std::string QklPath();

std::string BannerLine();
std::string UsageText();

// A fresh temporary folder, removed with everything in it when the object goes.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  // Writes a file in the folder; returns its path.
  std::string Write(const std::string& Name, const std::string& Content) const;
  std::string Path;
};

// A 16-byte binary image (vbase 0x10, dbase 0x18) whose checksum is right or one off.
std::string TinyImage(bool ChecksumRight);
