#include "frontend/Console.h"
#include "frontend/Flows.h"
#include "frontend/Options.h"

int RunReadBackFlow(TPropeller& Link, TConsole& Console) {
  const std::string OnPort = " on Port (" + RunSettings.PortName + ")";
  if (Link.FindPropeller(RunSettings.PortName) == 0) {
    Console.ReportOpenFailure(Link, RunSettings.PortName);
    Console.PrintLine("Unable to locate Propeller" + OnPort);
    return 1;
  }
  if (!Link.ReadEeprom()) {
    Console.PrintLine("Unable to read Propeller" + OnPort);
    return 2;
  }
  if (!RunSettings.FileName.empty() && !Link.SaveFile(RunSettings.FileName)) {
    Console.PrintLine("Unable to save binary image to (" + RunSettings.FileName + ")");
    return 3;
  }
  Console.PrintLine("All good!");
  return 0;
}
