#include "frontend/Console.h"
#include "frontend/ExitCodes.h"
#include "frontend/Flows.h"
#include "frontend/Links.h"
#include "frontend/Texts.h"

int RunReadBackFlow(TPropeller& Link, const TRunSettings& Settings, TConsole& Console) {
  if (DetectChip(Link, Settings, Console) == 0) {
    Console.PrintLine(NoChipOnPortText(Settings.PortName));
    return ExitReadBackNoChip;
  }
  if (!Link.ReadEeprom()) {
    Console.PrintLine(ReadFailedOnPortText(Settings.PortName));
    return ExitReadBackFailed;
  }
  if (!Settings.FileName.empty() && !Link.SaveFile(Settings.FileName)) {
    Console.PrintLine(NotSavedText(Settings.FileName));
    return ExitReadBackNotSaved;
  }
  Console.PrintLine(AllGoodText);
  return ExitDone;
}
