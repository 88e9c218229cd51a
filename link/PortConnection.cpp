#include <thread>

#include "link/LinkState.h"
#include "link/Propeller.h"
#include "link/ProtocolTimes.h"

namespace {
constexpr int32_t DrainBlockBytes = 1024;
}

bool TPropeller::OpenPort(const std::string& PortName) {
  try {
    Serial->RaiseExcept = true;
    Serial->LinuxLock = false;
    Serial->DeadlockTimeout = DeadlockTimeoutMs;
    Serial->OpenDevice(PortName);
    Serial->Configure(static_cast<int32_t>(BaudRate), 8, 'N', 0, false, false);
    Serial->FlushOutput();
    // The chip is held in reset while DTR is on; the end of the pulse is the reference of
    // every later DelayMs.
    Serial->SetDtr(false);
    Serial->SetDtr(true);
    ResetMark = TLinkClock::now();
    DelayMs(ResetPulseMs);
    Serial->SetDtr(false);
    ResetMark = TLinkClock::now();
  } catch (...) {
    LastError = "Unable to open port";
    FOpenFailureCode = Serial->ErrorCode();
    FOpenFailureText = Serial->ErrorDesc();
    return false;
  }
  FOpenFailureCode = 0;
  FOpenFailureText.clear();
  CurrentPort = PortName;
  HighSpeedEncoding = BaudRate > 115200;
  return true;
}

void TPropeller::ClosePort() {
  try {
    Serial->CloseDevice();
  } catch (...) {
    // Closing never fails: whatever the port reports while purging and closing is moot.
  }
  CurrentPort.clear();
}

void TPropeller::DelayMs(uint16_t Ms) {
  using std::chrono::milliseconds;
  while (std::chrono::duration_cast<milliseconds>(TLinkClock::now() - ResetMark).count() < Ms) {
    std::this_thread::sleep_for(milliseconds(1));
  }
}

void TPropeller::DrainInput() {
  const auto Start = TLinkClock::now();
  const auto Limit = std::chrono::milliseconds(DrainLimitMs);
  try {
    while (!Serial->ReadString(DrainBlockBytes, DrainReadTimeoutMs).empty() &&
           TLinkClock::now() - Start < Limit) {
    }
  } catch (const ESerialError&) {
    // A quiet line ends the drain with a read time-out.
  }
}

void TPropeller::DiscardInput(int32_t TimeoutMs) {
  try {
    Serial->ReadString(DrainBlockBytes, TimeoutMs);
  } catch (const ESerialError&) {
    // Whatever is or is not there is thrown away.
  }
}
