// A serial line between the host's port and a scripted far end, on a virtual clock. Time passes
// only while the host waits (a read that finds nothing, a delay), and then only as far as the
// next thing due: a reply, the end of the host's wait (0.1 ms late, as a real timer's wait ends
// a little after its deadline), or the moment the far end waits for. The
// far end runs on a thread of its own in lockstep with the host: while it works the host's
// clock stands still, so what the host sees never depends on how fast or busy the machine is.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serial/SerialPort.h"

class TVirtualLine {
public:
  // The moment the line comes up; the clock is never at zero, which reads as "not set".
  static constexpr TPortTime Start = TPortTime{} + std::chrono::hours(1);

  explicit TVirtualLine(std::string PortName = "virtual");
  ~TVirtualLine();

  // A port on the host's end of this line; one at a time may have it open.
  std::unique_ptr<TSerialPort> HostPort();
  const std::string& PortName() const { return Name; }
  TPortTime Now() const;

  // What SetModemLines answers; each change of the modem lines is kept, with its moment.
  struct TModemChange {
    TPortTime At;
    bool Dtr;
    bool Rts;
  };
  void AnswerModemLines(TPortResult Answer);
  std::vector<TModemChange> ModemChanges() const;
  uint32_t Baud() const;
  // The line takes Bytes more and then nothing: a write that does not fit waits out the port's
  // deadlock time and fails.
  void StallAfter(std::size_t Bytes);

  // The far end's side, on its own thread. FarEndStarts before its first call, FarEndEnds after
  // its last; HostDone tells a far end still waiting that the host has finished.
  enum class TTake { Data, TimeUp, HostDone, Stopped };
  void FarEndStarts();
  void FarEndEnds();
  void HostDone();
  // The next chunk the host wrote and when, waiting until the host writes or the clock reaches
  // Until (TimeUp).
  TTake TakeFromHost(std::string& Chunk, TPortTime& At, TPortTime Until);
  void SendToHost(const std::string& Bytes, TPortTime At);

private:
  friend class TScriptedPort;
  struct TChunk {
    TPortTime At;
    std::string Bytes;
  };
  enum class TFarEnd { Absent, Working, Waiting };

  // One step of the host's wait toward Target: the far end may finish its work first; then the
  // clock goes to the next event at most. False once the clock has reached Target.
  bool StepToward(TPortTime Target, std::unique_lock<std::mutex>& Lock);
  bool ReplyDue() const { return !ToHost.empty() && ToHost.front().At <= Clock; }

  const std::string Name;
  mutable std::mutex Mutex;
  std::condition_variable Changed;
  TPortTime Clock = Start;
  bool Opened = false;
  bool Finished = false;
  bool Stopping = false;
  uint32_t LineBaud = 0;
  int32_t DeadlockMs = 0;
  std::optional<std::size_t> TakesOnly;
  TFarEnd FarEnd = TFarEnd::Absent;
  TPortTime FarEndWake{};
  std::deque<TChunk> ToFarEnd;
  std::deque<TChunk> ToHost;
  TPortResult ModemAnswer;
  std::vector<TModemChange> Changes;
};
