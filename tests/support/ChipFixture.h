// A virtual chip for tests on a fresh pseudo-terminal: either inside the test process, served
// by a thread, or as the built qkl-sim in a child process. Both hand back the slave path the
// host opens and collect what the chip logs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/ChipSettings.h"
#include "sim/ImageRunner.h"
#include "sim/VirtualChip.h"

namespace simtest {

class ChipLogRecord {
public:
  void Add(const std::string& Line);
  std::vector<std::string> Lines() const;
  // The first line containing Part, waiting up to Timeout for it; empty when none came.
  std::string WaitFor(const std::string& Part, std::chrono::milliseconds Timeout) const;
  // The same for the first line containing Part after the last one containing Earlier.
  std::string WaitForAfter(const std::string& Earlier, const std::string& Part,
                           std::chrono::milliseconds Timeout) const;
  int CountOf(const std::string& Part) const;
  // Every line, for failure messages.
  std::string Text() const;

private:
  mutable std::mutex Lock;
  mutable std::condition_variable Changed;
  std::vector<std::string> Collected;
};

// Waits up to Timeout for the power-on reset in the chip's log: from then on the chip listens.
// Throws std::runtime_error, naming what it waited for and the log, when the reset does not come,
// so that a test ends there and not later at a puzzling first exchange.
void AwaitPowerOnReset(const ChipLogRecord& Log, std::chrono::milliseconds Timeout);

class ChipUnderTest {
public:
  virtual ~ChipUnderTest() = default;
  virtual const std::string& SlavePath() const = 0;
  virtual void Stop() = 0;
  ChipLogRecord& Log() { return Record; }

protected:
  ChipLogRecord Record;
};

class ThreadChip : public ChipUnderTest {
public:
  // Returns once the chip listens; throws as AwaitPowerOnReset does when it does not.
  explicit ThreadChip(const qkl::sim::ChipSettings& Settings = {},
                      qkl::sim::ImageRunner* Runner = nullptr);
  ~ThreadChip() override;
  const std::string& SlavePath() const override { return Chip.SlavePath(); }
  void Stop() override;
  qkl::sim::VirtualChip::HostExchange LastExchange() const { return Chip.LastExchange(); }

private:
  qkl::sim::VirtualChip Chip;
  std::thread Server;
};

class ProcessChip : public ChipUnderTest {
public:
  // Starts qkl-sim with these arguments and --log; throws std::runtime_error when it does not
  // print its slave path.
  explicit ProcessChip(const std::vector<std::string>& Arguments);
  ~ProcessChip() override;
  const std::string& SlavePath() const override { return Path; }
  // Sends SIGTERM and waits for the exit; returns the exit status (as waitpid reports it).
  void Stop() override;
  int ExitStatus() const { return Status; }

private:
  pid_t Pid = -1;
  int Status = -1;
  std::string Path;
  std::thread LogReader;
};

// The built qkl-sim.
std::string QklSimPath();

// A chip that gives its verdicts without the time it needs to work them out.
inline qkl::sim::ChipSettings InstantChip() {
  qkl::sim::ChipSettings Settings;
  Settings.instant = true;
  return Settings;
}

}  // namespace simtest
