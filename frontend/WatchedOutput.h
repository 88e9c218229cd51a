// Standard output on its way to a terminal that also shows the progress line: the line is
// wiped before each write, and told where the write left the cursor. Every write is passed on
// at once, so that it reaches the terminal before the line is drawn again.
#pragma once

#include <streambuf>

#include "console/ProgressLine.h"

class TWatchedOutput : public std::streambuf {
public:
  TWatchedOutput(std::streambuf& Target, TProgressLine& Line);

protected:
  int_type overflow(int_type Ch) override;
  std::streamsize xsputn(const char* Data, std::streamsize Size) override;
  int sync() override;

private:
  std::streambuf& Target;
  TProgressLine& Line;
};
