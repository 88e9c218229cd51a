// qkl-tool load: an image file into the chip's RAM, or into RAM and its boot EEPROM.
#include <atomic>
#include <csignal>
#include <filesystem>
#include <system_error>

#include "link/FastLoad.h"
#include "qkltool/BoardLoads.h"
#include "qkltool/ChoosePort.h"
#include "qkltool/Commands.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/FindChip.h"
#include "qkltool/Messages.h"
#include "qkltool/TerminalSession.h"

namespace {

// The boot loader's commands after its handshake.
enum TLoadMode : uint8_t { RamRun = 1, EepromShutdown = 2, EepromRun = 3 };

constexpr const char* ImageHint =
    "give the .binary or .eeprom file that the Spin compiler wrote for the program";

TLoadMode ModeOf(const TLoadRequest& Request) {
  if (!Request.Eeprom) return RamRun;
  return Request.Shutdown ? EepromShutdown : EepromRun;
}

std::string TargetOf(const TLoadRequest& Request) {
  if (!Request.Eeprom) return "RAM";
  return Request.Shutdown ? "the EEPROM (the chip then stops)" : "the EEPROM";
}

// Fills the link's image from the file; a file that is missing, too long or whose header or
// checksum is wrong ends the run before the chip is touched.
int ReadImage(TPropeller& Link, const std::string& File, TMessages& Messages) {
  std::error_code Error;
  const auto Size = std::filesystem::file_size(File, Error);
  if (Error) {
    Messages.Failure("cannot read " + File + ": " + Error.message(), ImageHint);
    return ExitBadImage;
  }
  if (Size > ImageSize) {
    Messages.Failure(File + " holds " + std::to_string(Size) + " bytes, more than the chip's " +
                         std::to_string(ImageSize),
                     ImageHint);
    return ExitBadImage;
  }
  if (!Link.LoadFile(File)) {
    Messages.Failure("cannot read " + File, "check that you may read it");
    return ExitBadImage;
  }
  if (!Link.ChecksumValid()) {
    Messages.Failure(File + " is no Propeller image: its header or its checksum is wrong",
                     ImageHint);
    return ExitBadImage;
  }
  return ExitDone;
}

// Straight from the load into the terminal on the port still open: the lines stay as the load
// left them, so the chip is not reset again.
int StayInTerminal(TPropeller& Link, const TLoadRequest& Request, const std::string& Port,
                   std::ostream& Out, TMessages& Messages) {
  TLinkSession& Session = Link.LinkSession();
  Session.LeaveModemLines();
  // The load may have left the line at the fast loader's rate.
  if (const TPortResult Set = Session.SetLine(Request.Session.Baud, 1); !Set.Ok()) {
    Messages.Failure("cannot set " + Port + " to " + std::to_string(Request.Session.Baud) +
                         " baud: " + Session.ErrorText(Set.Code),
                     "choose a rate that the adapter supports");
    Link.ClosePort();
    return ExitPortFailed;
  }
  const int Exit = RunTerminal(Session, Port, Request.Session, Out, Messages);
  Link.ClosePort();
  return Exit;
}

// Ctrl-C while the EEPROM is written asks the chip to stop after the page in progress.
std::atomic<bool> StopRequested{false};

extern "C" void RequestStop(int) { StopRequested = true; }

// Holds Ctrl-C for the fast path's EEPROM write while it lives.
class TStopOnInterrupt {
public:
  explicit TStopOnInterrupt(bool Active) : Active(Active) {
    StopRequested = false;
    if (Active) Previous = std::signal(SIGINT, RequestStop);
  }
  ~TStopOnInterrupt() {
    if (Active) std::signal(SIGINT, Previous);
  }
  TStopOnInterrupt(const TStopOnInterrupt&) = delete;
  TStopOnInterrupt& operator=(const TStopOnInterrupt&) = delete;

private:
  bool Active;
  void (*Previous)(int) = SIG_DFL;
};

std::string PageList(const std::vector<uint32_t>& Pages) {
  std::string Text;
  for (const uint32_t Page : Pages) Text += (Text.empty() ? "" : ", ") + std::to_string(Page);
  return Text.empty() ? "none" : Text;
}

int StoppedWrite(const TFastOutcome& Outcome, const TLoadRequest& Request, const std::string& Port,
                 TMessages& Messages) {
  Messages.Failure(
      "the EEPROM write on " + Port +
          " was stopped: the EEPROM now holds a partly written program" +
          (Outcome.PagesKnown ? "; pages of 64 bytes written: " + PageList(Outcome.PagesWritten)
                              : "; which pages were written is not known"),
      "load " + Request.File + " with --eeprom again before the board boots from its EEPROM");
  return ExitLoadFailed;
}

// The fast loader's path; the link falls back to the boot loader's own where it has to.
bool LoadFast(TPropeller& Link, const TLoadRequest& Request, const std::string& Port,
              TMessages& Messages, TFastOutcome& Outcome) {
  const TStopOnInterrupt Stop(Request.Eeprom);
  TFastSettings Settings;
  Settings.MaxRate = Request.Link.MaxRate;
  Settings.Abort = &StopRequested;
  Settings.Progress = Messages.LinkHooks().Progress;
  Settings.ChipFound = true;
  Outcome = FastLoad(Link, Port, static_cast<TFastTarget>(ModeOf(Request)), Settings);
  return Outcome.Ok;
}

std::string PathTaken(const TFastOutcome& Outcome) {
  return Outcome.Classic ? "" : " at " + std::to_string(Outcome.Rate) + " baud";
}

}  // namespace

int RunLoad(const TLoadRequest& Given, std::ostream& Out, TMessages& Messages) {
  TLoadRequest Request = Given;
  if (Request.Ports.size() == 1) Request.Link.Port = Request.Ports.front();
  TLinkWire Wire;  // the trace outlives the link
  std::ostream Discarded(nullptr);
  TPropeller Link(Discarded, Messages.LinkHooks());
  if (const int Exit = ReadImage(Link, Request.File, Messages); Exit != ExitDone) return Exit;
  if (Request.All || Request.Ports.size() > 1) {
    if (const int Exit = Wire.Open(Request.Link.Wire, Messages); Exit != ExitDone) return Exit;
    if (Request.All) {
      if (const int Exit = ChooseEveryBoard(Wire, Request.Ports, Messages); Exit != ExitDone)
        return Exit;
    }
    return LoadBoards(Request, ModeOf(Request), Wire, Out);
  }
  const auto Start = std::chrono::steady_clock::now();
  // The reset line stays on after the reset: a terminal opened after the load finds it on and
  // does not reset the chip (see TLinkSession::HoldResetLine).
  Link.LinkSession().HoldResetLine(true);
  std::string Port;
  if (const int Exit = ConnectChip(Link, Request.Link, Wire, Port, Messages); Exit != ExitDone)
    return Exit;
  TFastOutcome Outcome;
  Outcome.Classic = true;
  const bool Loaded = Request.Link.Classic ? Link.LoadImage(ModeOf(Request))
                                           : LoadFast(Link, Request, Port, Messages, Outcome);
  if (!Loaded) {
    Link.ClosePort();
    if (Outcome.Aborted) return StoppedWrite(Outcome, Request, Port, Messages);
    Messages.Failure("loading " + Request.File + " into " + TargetOf(Request) + " on " + Port +
                         " failed: " + (Outcome.Error.empty() ? Link.LastError() : Outcome.Error),
                     "run the load again; if it fails again, check the cable and the board's "
                     "power supply");
    return ExitLoadFailed;
  }
  Messages.Line("loaded " + Request.File + " into " + TargetOf(Request) + " on " + Port +
                PathTaken(Outcome) + " in " + SecondsSince(Start));
  if (Request.Terminal) return StayInTerminal(Link, Request, Port, Out, Messages);
  Link.ClosePort();
  return ExitDone;
}
