#include "console/PortHints.h"

#include "console/HintTexts.h"

namespace {
// More ports than this are counted, not named.
constexpr std::size_t PortsNamed = 12;
}  // namespace

std::string PortsPresentHint() { return SerialPortsPresentText(SerialPortsPresent(), PortsNamed); }
