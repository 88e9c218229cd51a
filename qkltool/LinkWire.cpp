#include "qkltool/LinkWire.h"

#include <cstring>
#include <iostream>

#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"

int TLinkWire::Open(const TWireChoice& Choice, TMessages& Messages) {
  Reset = ResetMethodNamed(Choice.Reset);
  if (!Reset) Reset = &DtrReset();  // the command line admits only the methods' names
  if (!Choice.TraceFile.empty()) {
    File.open(Choice.TraceFile, std::ios::out | std::ios::trunc);
    if (!File) {
      Messages.Failure(
          "cannot write the trace file " + Choice.TraceFile + ": " + std::strerror(errno),
          "name a file in a folder you may write to");
      return ExitUsage;
    }
    Trace = std::make_unique<TWireTrace>(File);
  } else if (Choice.Trace) {
    Trace = std::make_unique<TWireTrace>(std::cerr);
  }
  return ExitDone;
}

void TLinkWire::Apply(TPropeller& Link) const {
  Link.LinkSession().SetResetMethod(*Reset);
  Link.LinkSession().TraceTo(Trace.get());
}

TProbeSettings TLinkWire::ProbeSettings() const {
  TProbeSettings Settings;
  Settings.Reset = Reset;
  Settings.Trace = Trace.get();
  return Settings;
}
