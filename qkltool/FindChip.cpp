#include "qkltool/FindChip.h"

#include "console/PortHints.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"

namespace {

int NoChip(const TPropeller& Link, const std::string& Port, TMessages& Messages) {
  // A board that is never reset never answers: the refusal is the likelier cause.
  if (Link.ResetRefusalCode() != 0) {
    Messages.Failure("no chip answered on " + Port +
                         ": the adapter refused DTR for the reset: " + Link.ResetRefusalText(),
                     "the chip resets through DTR: use an adapter that drives it");
  } else {
    Messages.Failure("no chip answered on " + Port,
                     "check that the board has power, that " + Port +
                         " is its port, and that the adapter's DTR line reaches the chip's reset");
  }
  return ExitNoChip;
}

}  // namespace

int PortFailure(const std::string& Port, int32_t Code, const std::string& Text,
                TMessages& Messages) {
  const std::string Hint = PortOpenFailureHint(Port, Code);
  Messages.Failure("cannot open port " + Port + ": " + Text,
                   Hint.empty()
                       ? "check the adapter, its cable and the port's name; " + PortsPresentHint()
                       : Hint);
  return ExitPortFailed;
}

int FindChip(TPropeller& Link, const std::string& Port, TMessages& Messages) {
  if (Link.FindPropeller(Port) != 0) return ExitDone;
  if (Link.OpenFailureCode() != 0)
    return PortFailure(Port, Link.OpenFailureCode(), Link.OpenFailureText(), Messages);
  return NoChip(Link, Port, Messages);
}
