// What the progress line says: the link's progress events and the attempts of the test modes,
// turned into a short text for people, with counts and elapsed times.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "console/ProgressLine.h"
#include "link/Propeller.h"

class TRunProgress {
public:
  using TNow = std::function<TProgressLine::TClock::time_point()>;

  TRunProgress(TProgressLine& Line, TNow Now);

  // Hooks for a link object, bound to this progress.
  TLinkHooks Hooks();
  void Progress(const TLinkProgress& Where);
  // The test modes name their attempt ("detection 12 of 1000"); its stages follow it.
  void Attempt(const std::string& What);

private:
  enum class TKind { None, Download, Wait, EepromRead };

  void StartWait(const std::string& What);
  std::string StageText() const;
  void Show(bool AtOnce);

  TProgressLine& Line;
  TNow Now;
  std::string AttemptText;
  TKind Kind = TKind::None;
  std::string What;    // the wait's name
  uint32_t Done = 0;   // longs sent, or KB read
  uint32_t Total = 0;  // longs to send, or KB to read
  TProgressLine::TClock::time_point Started{};
};
