// qkl-tool load: an image file into the chip's RAM, or into RAM and its boot EEPROM.
#include <filesystem>
#include <system_error>

#include "qkltool/BoardLoads.h"
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
int StayInTerminal(TPropeller& Link, const TLoadRequest& Request, std::ostream& Out,
                   TMessages& Messages) {
  TLinkSession& Session = Link.LinkSession();
  const std::string& Port = Request.Link.Port;
  Session.LeaveModemLines();
  if (Request.Session.Baud != Link.BaudRate())
    if (const TPortResult Set = Session.ChangeBaud(Request.Session.Baud); !Set.Ok()) {
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

}  // namespace

int RunLoad(const TLoadRequest& Given, std::ostream& Out, TMessages& Messages) {
  TLoadRequest Request = Given;
  if (Request.Ports.size() == 1) Request.Link.Port = Request.Ports.front();
  std::ostream Discarded(nullptr);
  TPropeller Link(Discarded, Messages.LinkHooks());
  if (const int Exit = ReadImage(Link, Request.File, Messages); Exit != ExitDone) return Exit;
  if (Request.Ports.size() > 1) return LoadBoards(Request, ModeOf(Request), Out);
  const auto Start = std::chrono::steady_clock::now();
  if (const int Exit = FindChip(Link, Request.Link.Port, Messages); Exit != ExitDone) return Exit;
  if (!Link.LoadImage(ModeOf(Request))) {
    Link.ClosePort();
    Messages.Failure("loading " + Request.File + " into " + TargetOf(Request) + " on " +
                         Request.Link.Port + " failed: " + Link.LastError(),
                     "run the load again; if it fails again, check the cable and the board's "
                     "power supply");
    return ExitLoadFailed;
  }
  Messages.Line("loaded " + Request.File + " into " + TargetOf(Request) + " on " +
                Request.Link.Port + " in " + SecondsSince(Start));
  if (Request.Terminal) return StayInTerminal(Link, Request, Out, Messages);
  Link.ClosePort();
  return ExitDone;
}
