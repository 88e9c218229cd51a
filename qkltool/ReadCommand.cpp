// qkl-tool read: the chip's boot EEPROM into a file.
#include "link/ReplaceFile.h"
#include "qkltool/Commands.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/FindChip.h"
#include "qkltool/Messages.h"

int RunRead(const TReadRequest& Request, TMessages& Messages) {
  if (Request.Size != BootEepromSize) {
    // The boot loader's reader program reads the 24LC256's 32 KB only.
    Messages.Failure(std::string("--size ") + LargeEepromSize +
                         " reads the whole of a 24LC512 and needs the fast loader, which this "
                         "qkl-tool does not have yet",
                     std::string("read the boot program's ") + BootEepromSize + " with --size " +
                         BootEepromSize + " (the default)");
    return ExitUsage;
  }
  std::ostream Discarded(nullptr);
  TPropeller Link(Discarded, Messages.LinkHooks());
  const auto Start = std::chrono::steady_clock::now();
  if (const int Exit = FindChip(Link, Request.Link.Port, Messages); Exit != ExitDone) return Exit;
  if (!Link.ReadEeprom()) {
    Link.ClosePort();
    // The link names the failures of the reader's start; the reader's data that stops or arrives
    // damaged leaves no reason of its own.
    const std::string Reason =
        Link.LastError().empty() ? "its data did not arrive whole and correct" : Link.LastError();
    Messages.Failure("reading the EEPROM on " + Request.Link.Port + " failed: " + Reason,
                     Request.File +
                         " was not written; run the read again, and if it fails "
                         "again check the cable and the board's power supply");
    return ExitReadFailed;
  }
  Link.ClosePort();
  if (!ReplaceFile(Request.File, Link.Image().data(), Link.Image().size())) {
    Messages.Failure("cannot write " + Request.File,
                     "check that its folder exists, that you may write there and that it is no "
                     "folder itself; an existing file was left as it was");
    return ExitNotSaved;
  }
  Messages.Line("read " + std::to_string(Link.Image().size()) + " bytes of the EEPROM on " +
                Request.Link.Port + " into " + Request.File + " in " + SecondsSince(Start));
  return ExitDone;
}
