#include "qkltool/TerminalSession.h"

#include <chrono>
#include <optional>

#include "link/LinkSession.h"
#include "qkltool/ConsoleInput.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"
#include "qkltool/StatusBytes.h"

namespace {

constexpr char QuitKey = '\x1D';  // Ctrl-]
// How long one wait for the chip's bytes lasts before the keys are looked at again.
constexpr int32_t PollMs = 10;

using TClock = std::chrono::steady_clock;

std::optional<TClock::time_point> DeadlineOf(const TTerminalChoice& Choice) {
  if (Choice.TimeoutSeconds <= 0) return std::nullopt;
  return TClock::now() + std::chrono::duration_cast<TClock::duration>(
                             std::chrono::duration<double>(Choice.TimeoutSeconds));
}

class TTerminalLoop {
public:
  TTerminalLoop(TLinkSession& Session, const std::string& Port, const TTerminalChoice& Choice,
                std::ostream& Out, TMessages& Messages)
      : Session(Session), Port(Port), Choice(Choice), Out(Out), Messages(Messages) {}

  int Run() {
    if (Input.Keyboard()) Messages.Line("terminal on " + Port + "; Ctrl-] quits");
    const auto Deadline = DeadlineOf(Choice);
    while (true) {
      if (const std::optional<int> End = ForwardInput()) return *End;
      if (const std::optional<int> End = ShowReceived()) return *End;
      if (Deadline && TClock::now() >= Deadline) {
        Messages.Line("the session on " + Port + " timed out without a status from the program");
        return ExitTimedOut;
      }
    }
  }

private:
  // Standard input to the chip, up to Ctrl-] on the keyboard.
  std::optional<int> ForwardInput() {
    if (InputEnded) return std::nullopt;
    std::string Keys;
    InputEnded = !Input.Take(Keys);
    const std::size_t Quit = Input.Keyboard() ? Keys.find(QuitKey) : std::string::npos;
    const std::string_view Sending = std::string_view(Keys).substr(0, Quit);
    if (!Sending.empty())
      if (const TPortResult Sent = Session.Send(Sending); !Sent.Ok()) return PortFailed(Sent);
    if (Quit != std::string::npos) return ExitDone;
    if (InputEnded && Choice.ExitOnEof) return ExitDone;
    return std::nullopt;
  }

  std::optional<int> ShowReceived() {
    std::string Received;
    const TPortResult Result = Session.ReceiveAny(Received, PollMs);
    if (!Result.Ok() && !Result.TimedOut() && !Result.LineError()) return PortFailed(Result);
    std::string Shown;
    std::optional<int> Status;
    if (!Choice.NoStatus)
      Status = Ending.Take(Received, Shown);
    else
      Shown = Received;
    Out.write(Shown.data(), static_cast<std::streamsize>(Shown.size()));
    Out.flush();
    return Status;
  }

  int PortFailed(const TPortResult& Result) {
    Messages.Failure("the port " + Port + " failed: " + Session.ErrorText(Result.Code),
                     "check the adapter and its cable");
    return ExitPortFailed;
  }

  TLinkSession& Session;
  const std::string& Port;
  const TTerminalChoice& Choice;
  std::ostream& Out;
  TMessages& Messages;
  TConsoleInput Input;
  TStatusBytes Ending;
  bool InputEnded = false;
};

}  // namespace

int RunTerminal(TLinkSession& Session, const std::string& Port, const TTerminalChoice& Choice,
                std::ostream& Out, TMessages& Messages) {
  return TTerminalLoop(Session, Port, Choice, Out, Messages).Run();
}
