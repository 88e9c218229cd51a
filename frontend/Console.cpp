#include "frontend/Console.h"

#include "frontend/PortReason.h"
#include "frontend/Texts.h"

TConsole::TProgress::TProgress(std::ostream& Out, std::ostream& Err, TTerminal Terminal,
                               TRunProgress::TNow Now)
    : Line(Err, Terminal),
      Run(Line, std::move(Now)),
      Watched(*Out.rdbuf(), Line),
      WatchedOut(&Watched) {}

TConsole::TConsole(std::FILE* In, std::ostream& Out, std::ostream& Err,
                   std::optional<TTerminal> Terminal, TRunProgress::TNow Now)
    : Progress(Terminal ? std::make_unique<TProgress>(Out, Err, *Terminal, std::move(Now))
                        : nullptr),
      In(In),
      Out(Progress ? Progress->WatchedOut : Out),
      Err(Err) {}

void TConsole::PrintLine(const std::string& Text) { Out << Text << std::endl; }

void TConsole::PrintMark(char Mark) { Out << Mark << std::flush; }

TLinkHooks TConsole::LinkHooks() { return Progress ? Progress->Run.Hooks() : TLinkHooks{}; }

void TConsole::Attempt(const std::string& What) {
  if (Progress) Progress->Run.Attempt(What);
}

void TConsole::ReportPortTrouble(const TPropeller& Link, const std::string& Port) {
  // A board that is never reset never answers: without this line the user sees only a silent
  // chip.
  const int32_t Refusal = Link.ResetRefusalCode();
  if (Refusal != 0 && Refusal != ReportedResetRefusal) {
    ReportedResetRefusal = Refusal;
    ReportLine(RefusedResetText(Port, Link.ResetRefusalText()));
  }
  const int32_t Code = Link.OpenFailureCode();
  if (Code == 0 || Code == ReportedOpenFailure) return;
  ReportedOpenFailure = Code;
  ReportLine(PortOpenFailureLine(Port, Code, Link.OpenFailureText()));
}

void TConsole::ReportLine(const std::string& Line) {
  if (Progress)
    Progress->Line.WriteLine(Line);
  else
    Err << Line << std::endl;
}
