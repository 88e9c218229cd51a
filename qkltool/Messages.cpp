#include "qkltool/Messages.h"

#include <cstdio>

#include "qkltool/ProgressBar.h"

TMessages::TMessages(std::ostream& Err, std::optional<TTerminal> Terminal) : Err(Err) {
  if (!Terminal) return;
  Progress = std::make_unique<TProgressLine>(Err, *Terminal);
  Bar = std::make_unique<TProgressBar>(*Progress);
}

TMessages::~TMessages() = default;

void TMessages::Line(const std::string& Text) {
  const std::string Whole = "qkl-tool: " + Text;
  if (Progress)
    Progress->WriteLine(Whole);
  else
    Err << Whole << std::endl;
}

void TMessages::Failure(const std::string& Reason, const std::string& Hint) {
  Line(Reason);
  Line("hint: " + Hint);
}

TLinkHooks TMessages::LinkHooks() {
  if (!Bar) return {};
  return {nullptr, [this](const TLinkProgress& Event) { Bar->Show(Event); }};
}

std::string SecondsSince(std::chrono::steady_clock::time_point Start) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1f s",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
  return Text;
}
