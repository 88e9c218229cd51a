#include "frontend/PortReason.h"

std::string PortOpenFailureLine(const std::string& Port, int32_t Code, const std::string& Text) {
  const std::string Hint = PortOpenFailureHint(Port, Code);
  return "qkl: cannot open port " + Port + ": " + Text + (Hint.empty() ? "" : "; " + Hint);
}

std::string ResetRefusalLine(const std::string& Port, const std::string& Text) {
  return "qkl: could not reset the chip on " + Port + ": the adapter refused DTR: " + Text;
}
