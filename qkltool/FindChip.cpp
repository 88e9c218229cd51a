#include "qkltool/FindChip.h"

#include <cctype>

#include "console/PortHints.h"
#include "qkltool/ChoosePort.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"

namespace {

// "DTR" or "RTS".
std::string ResetLineName(TPropeller& Link) {
  std::string Name = Link.LinkSession().ResetMethod().Name();
  for (char& Ch : Name) Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
  return Name;
}

int NoChip(TPropeller& Link, const std::string& Port, TMessages& Messages) {
  const std::string Line = ResetLineName(Link);
  // A board that is never reset never answers: the refusal is the likelier cause.
  if (Link.ResetRefusalCode() != 0) {
    Messages.Failure("no chip answered on " + Port + ": the adapter refused " + Line +
                         " for the reset: " + Link.ResetRefusalText(),
                     "the chip resets through " + Line + ": use an adapter that drives it");
  } else {
    Messages.Failure("no chip answered on " + Port,
                     "check that the board has power, that " + Port +
                         " is its port, and that the adapter's " + Line +
                         " line reaches the chip's reset (--reset chooses DTR or RTS)");
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

int ConnectChip(TPropeller& Link, const TLinkChoice& Choice, TLinkWire& Wire, std::string& Port,
                TMessages& Messages) {
  if (const int Exit = Wire.Open(Choice.Wire, Messages); Exit != ExitDone) return Exit;
  if (const int Exit = ChoosePort(Choice.Port, Wire, Port, Messages); Exit != ExitDone) return Exit;
  Wire.Apply(Link);
  return FindChip(Link, Port, Messages);
}
