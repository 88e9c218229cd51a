// Where a run of the tool writes. Standard output carries everything scripts read: the banner,
// messages, progress marks and statistics; it is the same whatever standard error is. When
// standard error shows on a terminal, a progress line there tells people what the run is
// doing; any stream standard error is gets the reason when a port cannot be opened.
// Standard input holds the file-list test's list when no list file is named.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "console/ProgressLine.h"
#include "frontend/RunProgress.h"
#include "frontend/WatchedOutput.h"
#include "link/Propeller.h"

class TConsole {
public:
  // Progress is shown on Err only when it is the terminal Terminal describes; Now is the clock
  // of its elapsed times and redraws.
  TConsole(std::FILE* In, std::ostream& Out, std::ostream& Err,
           std::optional<TTerminal> Terminal = std::nullopt,
           TRunProgress::TNow Now = TProgressLine::TClock::now);
  TConsole(const TConsole&) = delete;
  TConsole& operator=(const TConsole&) = delete;

  void PrintLine(const std::string& Text);
  // A single-character progress mark, shown at once.
  void PrintMark(char Mark);
  // Hooks that feed the progress line; none when there is no progress line.
  TLinkHooks LinkHooks();
  // Where the links of the run get their ports: by default each opens the serial device named.
  using TPortMaker = std::function<std::unique_ptr<TSerialPort>()>;
  void UsePorts(TPortMaker Maker) { PortMaker = std::move(Maker); }
  std::unique_ptr<TSerialPort> NewPort() const { return PortMaker ? PortMaker() : nullptr; }
  // The test modes' attempt, for the progress line.
  void Attempt(const std::string& What);
  // After a detection: a line on standard error, whether or not it is a terminal, when the port
  // could not be opened or the adapter refused the reset, saying why. A reason already given is
  // not repeated, so the test modes' attempts give it once.
  void ReportPortTrouble(const TPropeller& Link, const std::string& Port);

private:
  struct TProgress {
    TProgress(std::ostream& Out, std::ostream& Err, TTerminal Terminal, TRunProgress::TNow Now);
    TProgressLine Line;
    TRunProgress Run;
    TWatchedOutput Watched;
    std::ostream WatchedOut;
  };
  void ReportLine(const std::string& Line);

  std::unique_ptr<TProgress> Progress;
  TPortMaker PortMaker;
  int32_t ReportedOpenFailure = 0;
  int32_t ReportedResetRefusal = 0;

public:
  std::FILE* const In;
  // Standard output; at a terminal, on its way past the progress line.
  std::ostream& Out;
  std::ostream& Err;
};
