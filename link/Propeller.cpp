#include "link/Propeller.h"

#include "serial/BlockSerial.h"

TPropeller::TPropeller(std::ostream& Out, TLinkHooks Hooks, std::unique_ptr<TSerialPort> Port)
    : Out(Out),
      Hooks(std::move(Hooks)),
      Session(Port ? std::move(Port) : std::make_unique<TBlockSerial>()) {}

bool TPropeller::OpenPort(const std::string& PortName) {
  FOpenFailure = Session.Open(PortName, FBaudRate);
  if (FOpenFailure.Ok()) return true;
  FLastError = "Unable to open port";
  return false;
}

void TPropeller::ClosePort() { Session.Close(); }

std::string TPropeller::OpenFailureText() const {
  return FOpenFailure.Ok() ? std::string() : Session.ErrorText(FOpenFailure.Code);
}

uint32_t TPropeller::ImageLong(std::size_t Index) const {
  const std::size_t At = Index * 4;
  return static_cast<uint32_t>(FImage[At]) | static_cast<uint32_t>(FImage[At + 1]) << 8 |
         static_cast<uint32_t>(FImage[At + 2]) << 16 | static_cast<uint32_t>(FImage[At + 3]) << 24;
}

void TPropeller::SetImageLong(std::size_t Index, uint32_t Value) {
  const std::size_t At = Index * 4;
  for (std::size_t Byte = 0; Byte < 4; ++Byte) {
    FImage[At + Byte] = static_cast<uint8_t>(Value >> (8 * Byte));
  }
}

void TPropeller::Notify(const TLinkProgress& Event) const {
  if (Hooks.Progress) Hooks.Progress(Event);
  if (Hooks.Status && IsMilestone(Event)) Hooks.Status(StatusText(Event));
}
