#include "qkltool/CommandLine.h"

#include <CLI/CLI.hpp>

#include "console/Terminal.h"
#include "qkltool/Commands.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"

namespace {

constexpr const char* ExitCodeTable = R"(Exit codes:
  0    done
  110  the command line is wrong
  111  the image file cannot be read, or holds no image
  112  the port cannot be opened
  113  no chip answered on the port
  114  the load failed
  115  the EEPROM could not be read back
  116  the file read back could not be written
  117  no port named, and not a single board found
  118  a load on several ports failed on one board or more
  124  a terminal session timed out
  125  an unexpected error
A terminal session that the program ends with the bytes 0xFF 0x00 STATUS exits with STATUS:
a status from 110 up cannot be told from the codes above.)";

constexpr const char* PortHelp =
    "The serial port of the board (COM3, /dev/ttyUSB0); default QKL_PORT, else the single board a "
    "probe of the Propeller adapters finds";

// The reset line and the trace, for every command that resets the chip.
void AddWireOptions(CLI::App& Command, TWireChoice& Wire) {
  Command.add_option("--reset", Wire.Reset, "The modem line that resets the chip: dtr or rts")
      ->capture_default_str()
      ->check(CLI::IsMember({"dtr", "rts"}).description(""))
      ->type_name("dtr|rts");
  CLI::Option* Trace =
      Command.add_flag("--trace", Wire.Trace,
                       "Every byte sent and received, timed from the reset, on standard error");
  Command.add_option("--trace-file", Wire.TraceFile, "The same trace into FILE instead")
      ->excludes(Trace)
      ->type_name("FILE");
}

void AddLinkOptions(CLI::App& Command, TLinkChoice& Link) {
  AddWireOptions(Command, Link.Wire);
  Command
      .add_option("--rate", Link.MaxRate,
                  "The highest baud rate to agree on with the chip, 115200 to 3000000")
      ->capture_default_str()
      ->check(CLI::Range(BootLoaderRate, FastestRate).description(""))
      ->type_name("MAX");
  Command.add_flag("--classic", Link.Classic,
                   "Only the chip's ROM boot loader at 115200 baud, without the fast loader");
}

// The terminal's options; those but the rate need Terminal where it is given.
void AddTerminalOptions(CLI::App& Command, TTerminalChoice& Session, CLI::Option* Terminal) {
  CLI::Option* Baud =
      Command.add_option("--baud", Session.Baud, "The rate of the program's serial line")
          ->capture_default_str()
          ->check(CLI::Range(300u, FastestRate).description(""))
          ->type_name("RATE");
  CLI::Option* Timeout =
      Command
          .add_option("--timeout", Session.TimeoutSeconds,
                      "End the session after SECONDS without a status (exit code 124)")
          ->check(CLI::PositiveNumber.description(""))
          ->type_name("SECONDS");
  CLI::Option* NoStatus = Command.add_flag(
      "--no-status", Session.NoStatus,
      "Pass 0xFF 0x00 STATUS through as data; by default they end the session with STATUS");
  CLI::Option* Eof = Command.add_flag("--exit-on-eof", Session.ExitOnEof,
                                      "End the session when standard input ends");
  if (!Terminal) return;
  for (CLI::Option* Each : {Baud, Timeout, NoStatus, Eof}) Each->needs(Terminal);
}

CLI::App* AddLoad(CLI::App& Tool, TLoadRequest& Request) {
  CLI::App* Load = Tool.add_subcommand("load", "Load an image into the chip's RAM and run it");
  CLI::Option* Port =
      Load->add_option("--port", Request.Ports,
                       std::string(PortHelp) + "; more than once: every board side by side")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->type_name("PORT");
  CLI::Option* All =
      Load->add_flag("--all", Request.All,
                     "Every board that a probe of the Propeller adapters finds, side by side")
          ->excludes(Port);
  AddLinkOptions(*Load, Request.Link);
  CLI::Option* Eeprom = Load->add_flag(
      "--eeprom", Request.Eeprom, "Write the image into the boot EEPROM too, verify it and run it");
  Load->add_flag("--shutdown", Request.Shutdown,
                 "With --eeprom: stop the chip once the EEPROM is written, instead of running it")
      ->needs(Eeprom);
  Load->add_option("FILE", Request.File, "The image: a .binary or .eeprom file")
      ->required()
      ->type_name("");
  CLI::Option* Terminal = Load->add_flag(
      "--terminal", Request.Terminal,
      "After the load, a terminal on the same port, without a reset (one port only)");
  Terminal->excludes(All);
  AddTerminalOptions(*Load, Request.Session, Terminal);
  Load->add_flag("--json", Request.Json,
                 "With several ports or --all: one JSON object per board instead of a line of text")
      ->excludes(Terminal);
  return Load;
}

CLI::App* AddRead(CLI::App& Tool, TReadRequest& Request) {
  CLI::App* Read = Tool.add_subcommand("read", "Read the chip's EEPROM back into a file");
  Read->add_option("--port", Request.Link.Port, PortHelp)->type_name("PORT");
  AddLinkOptions(*Read, Request.Link);
  Read->add_option("--size", Request.Size, "How much to read: the boot EEPROM's 32K, or 64K")
      ->capture_default_str()
      ->check(CLI::IsMember({BootEepromSize, LargeEepromSize}, CLI::ignore_case).description(""))
      ->type_name("32K|64K");
  Read->add_option("FILE", Request.File, "The file to write, exactly as named")
      ->required()
      ->type_name("");
  return Read;
}

CLI::App* AddTerm(CLI::App& Tool, TTermRequest& Request) {
  CLI::App* Term = Tool.add_subcommand(
      "term", "A terminal on the port that leaves DTR and RTS as they are (Ctrl-] quits)");
  Term->add_option("--port", Request.Port,
                   "The serial port of the board (COM3, /dev/ttyUSB0); default QKL_PORT, else the "
                   "single Propeller adapter listed (without a probe, which would reset it)")
      ->type_name("PORT");
  AddTerminalOptions(*Term, Request.Session, nullptr);
  return Term;
}

CLI::App* AddPorts(CLI::App& Tool, TPortsRequest& Request, bool ProbeByDefault) {
  CLI::App* Ports = Tool.add_subcommand(
      "ports", "List the serial ports, and with --probe the chip on each Propeller adapter");
  Request.Probe = ProbeByDefault;
  Ports->add_flag(
      "--probe,!--no-probe", Request.Probe,
      "Probe (reset and detect) the chip on each Propeller adapter, or not; the default when "
      "standard output is a terminal");
  Ports->add_flag("--probe-all", Request.ProbeAll,
                  "Probe every port but a Bluetooth one, not only the Propeller adapters");
  Ports->add_flag("--json", Request.Json, "A JSON array of the ports, for scripts");
  AddWireOptions(*Ports, Request.Wire);
  return Ports;
}

int UsageFailure(const CLI::App& Tool, const CLI::ParseError& Error, TMessages& Messages) {
  const std::vector<CLI::App*> Chosen = Tool.get_subcommands();
  const std::string Help =
      "qkl-tool " + (Chosen.empty() ? std::string() : Chosen.front()->get_name() + " ") + "--help";
  Messages.Failure(Error.what(), "see " + Help);
  return ExitUsage;
}

}  // namespace

int RunToolCommand(int Argc, const char* const* Argv, std::ostream& Out, TMessages& Messages) {
  CLI::App Tool("qkl-tool: loads a Parallax Propeller 1 over a serial line", "qkl-tool");
  Tool.set_version_flag("--version", std::string("qkl-tool ") + QKL_VERSION_TEXT);
  Tool.require_subcommand(1);
  Tool.footer(ExitCodeTable);
  TLoadRequest Load;
  TReadRequest Read;
  const CLI::App* LoadCommand = AddLoad(Tool, Load);
  const CLI::App* ReadCommand = AddRead(Tool, Read);
  TTermRequest Term;
  const CLI::App* TermCommand = AddTerm(Tool, Term);
  TPortsRequest Ports;
  const CLI::App* PortsCommand = AddPorts(Tool, Ports, StandardOutputTerminal());
  try {
    Tool.parse(Argc, Argv);
  } catch (const CLI::ParseError& Error) {
    // Help and version are parse errors with the exit code 0.
    if (Error.get_exit_code() == 0) {
      std::ostringstream Unused;
      return Tool.exit(Error, Out, Unused);
    }
    return UsageFailure(Tool, Error, Messages);
  }
  if (LoadCommand->parsed()) {
    if (Load.Terminal && Load.Ports.size() > 1) {
      Messages.Failure("--terminal takes one port only", "give --port once with --terminal");
      return ExitUsage;
    }
    return RunLoad(Load, Out, Messages);
  }
  if (ReadCommand->parsed()) return RunRead(Read, Messages);
  if (TermCommand->parsed()) return RunTerm(Term, Out, Messages);
  if (PortsCommand->parsed()) {
    Ports.Probe = Ports.Probe || Ports.ProbeAll;
    return RunPorts(Ports, Out, Messages);
  }
  return ExitUsage;
}
