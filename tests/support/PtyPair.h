// A raw pseudo-terminal pair: a port (or a program's standard error) opens the slave by its
// path, the test plays the far end on the master. Both ends are closed on exec.
#pragma once

#include <string>

class TPtyPair {
public:
  TPtyPair();
  ~TPtyPair();
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  // The terminal's shape as programs that ask for it see it.
  void SetColumns(int Columns);
  void Send(const std::string& Bytes);
  // Whatever arrives on the master within TimeoutMs, up to MaxBytes.
  std::string Receive(std::size_t MaxBytes, int TimeoutMs);

  int Master = -1;
  int Slave = -1;
  std::string SlavePath;
};
