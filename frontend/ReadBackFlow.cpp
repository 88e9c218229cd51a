#include "frontend/Console.h"
#include "frontend/Flows.h"
#include "frontend/Options.h"

int RunReadBackFlow(TPropeller& Link, TConsole& Console) {
  const std::string OnPort = " on Port (" + RunSettings.PortName + ")";
  const uint8_t Version = Link.FindPropeller(RunSettings.PortName);
  Console.ReportPortTrouble(Link, RunSettings.PortName);
  if (Version == 0) {
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
