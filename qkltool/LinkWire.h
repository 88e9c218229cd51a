// The reset line and the wire trace that the commands which reset the chip take (--reset,
// --trace, --trace-file), set up once per run and handed to each link session.
#pragma once

#include <fstream>
#include <memory>

#include "link/PortProbe.h"
#include "link/Propeller.h"
#include "link/WireTrace.h"
#include "qkltool/Commands.h"

class TMessages;

class TLinkWire {
public:
  // Opens the trace file; ExitDone, or the usage exit code with the reason said.
  int Open(const TWireChoice& Choice, TMessages& Messages);
  // The session of Link resets by the chosen line and traces where asked.
  void Apply(TPropeller& Link) const;
  // The same for a probe of many ports.
  TProbeSettings ProbeSettings() const;

private:
  const TResetMethod* Reset = &DtrReset();
  std::ofstream File;
  std::unique_ptr<TWireTrace> Trace;
};
