#include "qkltool/CommandLine.h"

#include <CLI/CLI.hpp>

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
  125  an unexpected error)";

void AddLinkOptions(CLI::App& Command, TLinkChoice& Link) {
  Command.add_option("--port", Link.Port, "The serial port of the board (COM3, /dev/ttyUSB0)")
      ->required()
      ->type_name("PORT");
  Command
      .add_option("--rate", Link.MaxRate,
                  "The highest baud rate to agree on with the chip, 115200 to 3000000")
      ->capture_default_str()
      ->check(CLI::Range(BootLoaderRate, FastestRate).description(""))
      ->type_name("MAX");
  Command.add_flag("--classic", Link.Classic,
                   "Only the chip's ROM boot loader at 115200 baud, without the fast loader");
}

CLI::App* AddLoad(CLI::App& Tool, TLoadRequest& Request) {
  CLI::App* Load = Tool.add_subcommand("load", "Load an image into the chip's RAM and run it");
  AddLinkOptions(*Load, Request.Link);
  CLI::Option* Eeprom = Load->add_flag(
      "--eeprom", Request.Eeprom, "Write the image into the boot EEPROM too, verify it and run it");
  Load->add_flag("--shutdown", Request.Shutdown,
                 "With --eeprom: stop the chip once the EEPROM is written, instead of running it")
      ->needs(Eeprom);
  Load->add_option("FILE", Request.File, "The image: a .binary or .eeprom file")
      ->required()
      ->type_name("");
  return Load;
}

CLI::App* AddRead(CLI::App& Tool, TReadRequest& Request) {
  CLI::App* Read = Tool.add_subcommand("read", "Read the chip's EEPROM back into a file");
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
  if (LoadCommand->parsed()) return RunLoad(Load, Messages);
  if (ReadCommand->parsed()) return RunRead(Read, Messages);
  return ExitUsage;
}
