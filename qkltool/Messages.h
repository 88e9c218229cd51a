// What qkl-tool tells people, all of it on standard error: a line per event, a failure as its
// reason and a hint, and, when standard error is a terminal, a progress bar that the link's
// progress events drive. Standard output is left to data.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "console/ProgressLine.h"
#include "link/LinkProgress.h"

class TProgressBar;

class TMessages {
public:
  TMessages(std::ostream& Err, std::optional<TTerminal> Terminal);
  ~TMessages();
  TMessages(const TMessages&) = delete;
  TMessages& operator=(const TMessages&) = delete;

  // "qkl-tool: Text".
  void Line(const std::string& Text);
  // The reason on one line, the hint on the next.
  void Failure(const std::string& Reason, const std::string& Hint);
  // Hooks that feed the progress bar; none without one.
  TLinkHooks LinkHooks();

private:
  std::ostream& Err;
  std::unique_ptr<TProgressLine> Progress;
  std::unique_ptr<TProgressBar> Bar;
};

// The seconds since Start, as "1.2 s".
std::string SecondsSince(std::chrono::steady_clock::time_point Start);
