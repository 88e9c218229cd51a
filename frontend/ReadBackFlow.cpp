#include "frontend/Console.h"
#include "frontend/Flows.h"
#include "frontend/Options.h"

void RunReadBackFlow(TPropeller& Link) {
  const std::string OnPort = " on Port (" + RunSettings.PortName + ")";
  if (Link.FindPropeller(RunSettings.PortName) == 0) {
    PrintLine("Unable to locate Propeller" + OnPort);
    ExitWith(1);
  }
  if (!Link.ReadEeprom()) {
    PrintLine("Unable to read Propeller" + OnPort);
    ExitWith(2);
  }
  if (!RunSettings.FileName.empty() && !Link.SaveFile(RunSettings.FileName)) {
    PrintLine("Unable to save binary image to (" + RunSettings.FileName + ")");
    ExitWith(3);
  }
  PrintLine("All good!");
  ExitWith(0);
}
