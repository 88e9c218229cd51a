// Test ports for the Windows serial tests. A run under Wine links COM ports to pseudo-terminals
// (scripts/wine-tests.sh); on Windows any port with a loop-back plug serves as the echo port.
//   QKL_TEST_ECHO_PORT  a port whose far end sends every byte back
//   QKL_TEST_MUTE_PORT  a port whose far end never reads and whose output never leaves
//   QKL_MODEM_LOG       the DTR/RTS log that Wine's modem-line library writes
// A pseudo-terminal's output queue is always empty; under Wine the modem-line library gives
// the echo port a transmitter that sends at the line rate (QKL_PACED_LINE) and the mute port
// one that never sends (QKL_STALLED_LINE).
#pragma once

#include <chrono>
#include <string>

#include "serial/BlockSerial.h"

// The port named by the variable, empty when it is not set.
std::string TestPort(const char* Variable);

// True when the tests run under Wine rather than Windows.
bool RunningUnderWine();

// False under Wine when the library variable that gives the port its transmitter is not set.
bool TransmitterModelled(const char* Variable);

// DTR and RTS as the last line of the modem log shows them, for example "DTR=0 RTS=1";
// empty when there is no log.
std::string LastModemLines();

// Opens Name and configures it as the link does (8N1, no flow control, 115200).
void OpenConfigured(TBlockSerial& Port, const std::string& Name);

// Polls until Port has Count bytes queued; false when they do not come within two seconds.
bool WaitQueued(TBlockSerial& Port, int32_t Count);

using TClock = std::chrono::steady_clock;
int64_t MsSince(TClock::time_point Start);
