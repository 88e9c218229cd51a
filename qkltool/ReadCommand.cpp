// qkl-tool read: the chip's boot EEPROM into a file.
#include "link/FastLoad.h"
#include "link/ReplaceFile.h"
#include "qkltool/Commands.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/FindChip.h"
#include "qkltool/Messages.h"

namespace {

// The fast loader's read-back, which falls back to the reader program for 32 KB; Bytes is set
// only when all of them came with the right CRC.
bool ReadFast(TPropeller& Link, const TReadRequest& Request, const std::string& Port,
              TMessages& Messages, std::string& Bytes, std::string& Error) {
  TFastSettings Settings;
  Settings.MaxRate = Request.Link.MaxRate;
  Settings.Progress = Messages.LinkHooks().Progress;
  Settings.ChipFound = true;
  const uint32_t Kilobytes = Request.Size == BootEepromSize ? 32 : 64;
  const TFastOutcome Outcome = FastRead(Link, Port, Kilobytes, Settings, Bytes);
  Error = Outcome.Error;
  return Outcome.Ok;
}

bool ReadClassic(TPropeller& Link, std::string& Bytes) {
  if (!Link.ReadEeprom()) return false;
  Bytes.assign(reinterpret_cast<const char*>(Link.Image().data()), Link.Image().size());
  return true;
}

}  // namespace

int RunRead(const TReadRequest& Request, TMessages& Messages) {
  if (Request.Size != BootEepromSize && Request.Link.Classic) {
    // The boot loader's reader program reads the 24LC256's 32 KB only.
    Messages.Failure(std::string("--size ") + LargeEepromSize +
                         " reads the whole of a 24LC512 and needs the fast loader, which "
                         "--classic leaves out",
                     std::string("leave out --classic, or read the boot program's ") +
                         BootEepromSize + " with --size " + BootEepromSize + " (the default)");
    return ExitUsage;
  }
  TLinkWire Wire;  // the trace outlives the link
  std::ostream Discarded(nullptr);
  TPropeller Link(Discarded, Messages.LinkHooks());
  const auto Start = std::chrono::steady_clock::now();
  std::string Port;
  if (const int Exit = ConnectChip(Link, Request.Link, Wire, Port, Messages); Exit != ExitDone)
    return Exit;
  std::string Bytes;
  std::string Error;
  const bool Read = Request.Link.Classic ? ReadClassic(Link, Bytes)
                                         : ReadFast(Link, Request, Port, Messages, Bytes, Error);
  if (!Read) {
    Link.ClosePort();
    // The link names the failures of the reader's start; the reader's data that stops or arrives
    // damaged leaves no reason of its own.
    if (Error.empty()) Error = Link.LastError();
    const std::string Reason = Error.empty() ? "its data did not arrive whole and correct" : Error;
    Messages.Failure("reading the EEPROM on " + Port + " failed: " + Reason,
                     Request.File +
                         " was not written; run the read again, and if it fails "
                         "again check the cable and the board's power supply");
    return ExitReadFailed;
  }
  Link.ClosePort();
  if (!ReplaceFile(Request.File, Bytes.data(), Bytes.size())) {
    Messages.Failure("cannot write " + Request.File,
                     "check that its folder exists, that you may write there and that it is no "
                     "folder itself; an existing file was left as it was");
    return ExitNotSaved;
  }
  Messages.Line("read " + std::to_string(Bytes.size()) + " bytes of the EEPROM on " + Port +
                " into " + Request.File + " in " + SecondsSince(Start));
  return ExitDone;
}
