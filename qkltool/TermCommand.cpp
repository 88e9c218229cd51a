// qkl-tool term: a terminal on the port that does not reset the chip.
#include "qkltool/ChoosePort.h"
#include "qkltool/Commands.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/FindChip.h"
#include "qkltool/Messages.h"
#include "qkltool/TerminalSession.h"

int RunTerm(const TTermRequest& Request, std::ostream& Out, TMessages& Messages) {
  std::string Port;
  if (const int Exit = ChooseListedPort(Request.Port, Port, Messages); Exit != ExitDone)
    return Exit;
  std::ostream Discarded(nullptr);
  TPropeller Link(Discarded);
  TLinkSession& Session = Link.LinkSession();
  if (const TPortResult Opened = Session.Attach(Port, Request.Session.Baud); !Opened.Ok()) {
    return PortFailure(Port, Opened.Code, Session.ErrorText(Opened.Code), Messages);
  }
  if (Session.OpenRaisedModemLines())
    Messages.Line("note: opening " + Port +
                  " raised DTR, which resets most boards: the chip starts again from its EEPROM "
                  "(a program loaded into RAM before is gone; qkl-tool load --terminal keeps it)");
  const int Exit = RunTerminal(Session, Port, Request.Session, Out, Messages);
  Session.Close();
  return Exit;
}
