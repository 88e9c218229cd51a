#include "VirtualLine.h"

#include <algorithm>
#include <cerrno>

#include "serial/BlockSerial.h"

namespace {
constexpr auto TimerLateness = std::chrono::microseconds(100);
}

// The host's end of a virtual line.
class TScriptedPort : public TSerialPort {
public:
  explicit TScriptedPort(TVirtualLine& Line) : Line(Line) {}
  ~TScriptedPort() override { Close(); }
  TScriptedPort(const TScriptedPort&) = delete;
  TScriptedPort& operator=(const TScriptedPort&) = delete;

  TPortResult Open(const std::string& PortName) override {
    std::lock_guard Lock(Line.Mutex);
    if (Holding) return {ErrAlreadyOwned};
    if (PortName != Line.Name) return {ENOENT};
    if (Line.Opened) return {EBUSY};
    Line.Opened = Holding = true;
    Line.ToHost.clear();
    return {};
  }
  TPortResult Configure(uint32_t Baud, int32_t DeadlockMs) override {
    std::lock_guard Lock(Line.Mutex);
    Line.LineBaud = Baud;
    Line.DeadlockMs = DeadlockMs;
    return {};
  }
  TPortResult SetLine(uint32_t Baud, int32_t) override {
    std::lock_guard Lock(Line.Mutex);
    if (!Holding) return {ErrPortNotOpen};
    Line.LineBaud = Baud;
    return {};
  }
  TPortResult SetModemLines(bool Dtr, bool Rts) override {
    std::lock_guard Lock(Line.Mutex);
    if (!Holding) return {ErrPortNotOpen};
    Line.Changes.push_back({Line.Clock, Dtr, Rts});
    return Line.ModemAnswer;
  }
  TPortResult Purge() override {
    std::lock_guard Lock(Line.Mutex);
    if (!Holding) return {ErrPortNotOpen};
    while (Line.ReplyDue()) Line.ToHost.pop_front();
    return {};
  }
  TPortResult Write(std::string_view Bytes) override {
    std::unique_lock Lock(Line.Mutex);
    if (!Holding) return {ErrPortNotOpen};
    const std::size_t Fits = std::min(Bytes.size(), Line.TakesOnly.value_or(Bytes.size()));
    if (Fits > 0) {
      Line.ToFarEnd.push_back({Line.Clock, std::string(Bytes.substr(0, Fits))});
      if (Line.FarEnd == TVirtualLine::TFarEnd::Waiting)
        Line.FarEnd = TVirtualLine::TFarEnd::Working;
      Line.Changed.notify_all();
    }
    if (!Line.TakesOnly) return {};
    *Line.TakesOnly -= Fits;
    if (Fits == Bytes.size()) return {};
    const TPortTime GivenUp = Line.Clock + std::chrono::milliseconds(Line.DeadlockMs);
    while (Line.StepToward(GivenUp, Lock)) {
    }
    return {ErrTimeout};
  }
  TPortResult Read(std::string& Into, std::size_t Max, TPortTime Deadline) override {
    std::unique_lock Lock(Line.Mutex);
    for (;;) {
      if (!Holding) return {ErrPortNotOpen};
      if (Line.ReplyDue()) {
        TakeDue(Into, Max);
        return {};
      }
      if (!Line.StepToward(Deadline, Lock) && !Line.ReplyDue()) return {ErrTimeout};
    }
  }
  TPortResult QueueCounts(int32_t& Input, int32_t& Output) override {
    std::lock_guard Lock(Line.Mutex);
    if (!Holding) return {ErrPortNotOpen};
    Input = 0;
    for (const auto& Chunk : Line.ToHost)
      if (Chunk.At <= Line.Clock) Input += static_cast<int32_t>(Chunk.Bytes.size());
    Output = 0;  // the far end takes every write at once
    return {};
  }
  void Close() override {
    std::lock_guard Lock(Line.Mutex);
    if (!Holding) return;
    Holding = Line.Opened = false;
    Line.ToHost.clear();
  }
  bool IsOpen() const override {
    std::lock_guard Lock(Line.Mutex);
    return Holding;
  }
  std::string ErrorText(int32_t Code) const override { return TBlockSerial::GetErrorDesc(Code); }
  TPortTime Now() override { return Line.Now(); }
  void WaitUntil(TPortTime Moment) override {
    std::unique_lock Lock(Line.Mutex);
    while (Line.StepToward(Moment, Lock)) {
    }
  }

private:
  void TakeDue(std::string& Into, std::size_t Max) {
    while (Max > 0 && Line.ReplyDue()) {
      std::string& Bytes = Line.ToHost.front().Bytes;
      const std::size_t Taken = std::min(Max, Bytes.size());
      Into.append(Bytes, 0, Taken);
      Bytes.erase(0, Taken);
      Max -= Taken;
      if (Bytes.empty()) Line.ToHost.pop_front();
    }
  }

  TVirtualLine& Line;
  bool Holding = false;
};

TVirtualLine::TVirtualLine(std::string PortName) : Name(std::move(PortName)) {}

TVirtualLine::~TVirtualLine() {
  std::lock_guard Lock(Mutex);
  Stopping = true;
  Changed.notify_all();
}

std::unique_ptr<TSerialPort> TVirtualLine::HostPort() {
  return std::make_unique<TScriptedPort>(*this);
}

TPortTime TVirtualLine::Now() const {
  std::lock_guard Lock(Mutex);
  return Clock;
}

void TVirtualLine::AnswerModemLines(TPortResult Answer) {
  std::lock_guard Lock(Mutex);
  ModemAnswer = Answer;
}

std::vector<TVirtualLine::TModemChange> TVirtualLine::ModemChanges() const {
  std::lock_guard Lock(Mutex);
  return Changes;
}

void TVirtualLine::StallAfter(std::size_t Bytes) {
  std::lock_guard Lock(Mutex);
  TakesOnly = Bytes;
}

uint32_t TVirtualLine::Baud() const {
  std::lock_guard Lock(Mutex);
  return LineBaud;
}

bool TVirtualLine::StepToward(TPortTime Target, std::unique_lock<std::mutex>& Lock) {
  Changed.wait(Lock, [this] { return FarEnd != TFarEnd::Working || Stopping; });
  if (Clock >= Target) return false;
  // A real wait that runs to its deadline ends a little after it, never on it.
  TPortTime Next = Target + TimerLateness;
  // Bytes that are due already do not end a wait that is not a read.
  if (!ToHost.empty() && ToHost.front().At > Clock) Next = std::min(Next, ToHost.front().At);
  if (FarEnd == TFarEnd::Waiting) Next = std::min(Next, FarEndWake);
  Clock = std::max(Clock, Next);
  if (FarEnd == TFarEnd::Waiting && Clock >= FarEndWake) {
    FarEnd = TFarEnd::Working;
    Changed.notify_all();
  }
  return Clock < Target;
}

void TVirtualLine::FarEndStarts() {
  std::lock_guard Lock(Mutex);
  FarEnd = TFarEnd::Working;
  Finished = false;
}

void TVirtualLine::FarEndEnds() {
  std::lock_guard Lock(Mutex);
  FarEnd = TFarEnd::Absent;
  Changed.notify_all();
}

void TVirtualLine::HostDone() {
  std::lock_guard Lock(Mutex);
  Finished = true;
  Changed.notify_all();
}

TVirtualLine::TTake TVirtualLine::TakeFromHost(std::string& Chunk, TPortTime& At, TPortTime Until) {
  std::unique_lock Lock(Mutex);
  for (;;) {
    TTake Take = TTake::Data;
    if (Stopping)
      Take = TTake::Stopped;
    else if (!ToFarEnd.empty() && ToFarEnd.front().At < Until)
      Take = TTake::Data;
    else if (Clock >= Until)
      Take = TTake::TimeUp;
    else if (Finished)
      Take = TTake::HostDone;
    else {
      FarEnd = TFarEnd::Waiting;
      FarEndWake = Until;
      Changed.notify_all();
      Changed.wait(Lock);
      continue;
    }
    FarEnd = TFarEnd::Working;
    if (Take == TTake::Data) {
      Chunk = std::move(ToFarEnd.front().Bytes);
      At = ToFarEnd.front().At;
      ToFarEnd.pop_front();
    }
    return Take;
  }
}

void TVirtualLine::SendToHost(const std::string& Bytes, TPortTime At) {
  if (Bytes.empty()) return;
  std::lock_guard Lock(Mutex);
  ToHost.push_back({At, Bytes});
  Changed.notify_all();
}
