// The progress bar of qkl-tool on a terminal: the link's progress events as a bar of the work
// done in a stage that counts (the image sent, the EEPROM read back), and as the seconds waited in
// a stage that does not (the chip's verdicts, the reader program's start).
#pragma once

#include <string>

#include "console/ProgressLine.h"
#include "link/LinkProgress.h"

class TProgressBar {
public:
  explicit TProgressBar(TProgressLine& Line) : Line(Line) {}

  void Show(const TLinkProgress& Event);

private:
  std::string Text(const TLinkProgress& Event);

  TProgressLine& Line;
  TLinkStage Stage = TLinkStage::Download;
  TProgressLine::TClock::time_point Started{};
};
