#include "frontend/PortReason.h"

#include "frontend/Texts.h"

std::string PortOpenFailureLine(const std::string& Port, int32_t Code, const std::string& Text) {
  return PortOpenFailureText(Port, Text, PortOpenFailureHint(Port, Code));
}

#include "frontend/Texts.h"
