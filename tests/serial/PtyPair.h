// A pseudo-terminal pair for the port tests: the port opens the slave by its path, the test
// plays the far end on the master.
#pragma once

#include <chrono>
#include <string>

#include "serial/BlockSerial.h"

class TPtyPair {
public:
  TPtyPair();
  ~TPtyPair();
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  void Send(const std::string& Bytes);
  // Whatever arrives on the master within TimeoutMs, up to MaxBytes.
  std::string Receive(std::size_t MaxBytes, int TimeoutMs);

  int Master = -1;
  int Slave = -1;
  std::string SlavePath;
};

// Opens Pair's slave on Port and configures it as the link does (8N1, no flow control).
void OpenConfigured(TBlockSerial& Port, const TPtyPair& Pair, int32_t Baud = 115200);

// Polls until Port has Count bytes queued; false when they do not come within a second.
bool WaitQueued(TBlockSerial& Port, int32_t Count);

using TClock = std::chrono::steady_clock;
int64_t MsSince(TClock::time_point Start);
