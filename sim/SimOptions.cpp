#include "sim/SimOptions.h"

#include <charconv>

namespace sim {

namespace {

struct NumberOption {
  const char* Name;
  int Min;
  int Max;
};

bool ParseNumber(const std::string& Text, int Min, int Max, int& Value) {
  const char* End = Text.data() + Text.size();
  const auto [Stop, Error] = std::from_chars(Text.data(), End, Value);
  return Error == std::errc() && Stop == End && Value >= Min && Value <= Max;
}

bool* FlagNamed(const std::string& Name, SimOptions& Into) {
  ChipFaults& Faults = Into.Chip.Faults;
  const std::pair<const char*, bool*> Flags[] = {
      {"--instant", &Into.Chip.Instant},     {"--log", &Into.Log},
      {"--paced", &Into.Chip.Paced},         {"--help", &Into.Help},
      {"--absent", &Faults.Absent},          {"--echo", &Faults.Echo},
      {"--fail-ram", &Faults.FailRam},       {"--fail-program", &Faults.FailProgram},
      {"--fail-verify", &Faults.FailVerify}, {"--no-eeprom", &Faults.NoEeprom},
      {"--sda-low", &Faults.SdaHeldLow},     {"--corrupt-crc", &Faults.CorruptCrc},
  };
  for (const auto& [Each, Target] : Flags)
    if (Name == Each) return Target;
  return nullptr;
}

// Stores a number option; false when Name is not one.
bool StoreNumber(const std::string& Name, int Value, SimOptions& Into) {
  ChipFaults& Faults = Into.Chip.Faults;
  if (Name == "--version")
    Into.Chip.Version = static_cast<uint8_t>(Value);
  else if (Name == "--clock")
    Into.Chip.ClockHz = Value * 1e6;
  else if (Name == "--wrong-answer")
    Faults.WrongAnswerAt = Value;
  else if (Name == "--garbage-from")
    Faults.GarbageFrom = Value;
  else if (Name == "--noise-while-busy")
    Faults.NoiseWhileBusy = Value;
  else if (Name == "--silent-after-verdict")
    Faults.SilentAfterVerdict = Value;
  else if (Name == "--stop-after-bytes")
    Faults.StopAfterBytes = Value;
  else if (Name == "--close-after")
    Faults.CloseAfterBytes = Value;
  else if (Name == "--slow-drain")
    Faults.SlowLineBaud = Value;
  else if (Name == "--program-stops-after")
    Faults.ProgramStopsAfter = Value;
  else
    return false;
  return true;
}

const NumberOption NumberOptions[] = {
    {"--version", 0, 255},
    {"--clock", 8, 20},
    {"--wrong-answer", 1, 258},
    {"--garbage-from", 1, 1 << 30},
    {"--noise-while-busy", 1, 3},
    {"--silent-after-verdict", 0, 3},
    {"--stop-after-bytes", 0, 1 << 30},
    {"--close-after", 0, 1 << 30},
    {"--slow-drain", 300, 230400},
    {"--program-stops-after", 0, 1 << 30},
};

const NumberOption* NumberOptionNamed(const std::string& Name) {
  for (const NumberOption& Each : NumberOptions)
    if (Name == Each.Name) return &Each;
  return nullptr;
}

std::string OutOfRange(const std::string& Name, const NumberOption& Number,
                       const std::string& Value) {
  std::string Text = Name + " takes a whole number from ";
  Text += std::to_string(Number.Min) + " to " + std::to_string(Number.Max);
  return Text + ", not " + Value;
}

}  // namespace

std::string ParseSimOptions(const std::vector<std::string>& Arguments, SimOptions& Into) {
  for (std::size_t Index = 0; Index < Arguments.size(); ++Index) {
    const std::string& Name = Arguments[Index];
    if (bool* Flag = FlagNamed(Name, Into)) {
      *Flag = true;
      continue;
    }
    if (Name == "--no-emulator") {
      Into.Chip.RunImages = false;
      continue;
    }
    const NumberOption* Number = NumberOptionNamed(Name);
    const bool TakesPath = Name == "--eeprom" || Name == "--link" || Name == "--rom";
    if (!Number && !TakesPath) return "unknown option " + Name;
    if (Index + 1 == Arguments.size()) return Name + " needs a value";
    const std::string& Value = Arguments[++Index];
    if (TakesPath) {
      if (Value.empty()) return Name + " needs a path";
      (Name == "--eeprom" ? Into.Chip.EepromPath
       : Name == "--rom"  ? Into.Chip.RomDirectory
                          : Into.LinkPath) = Value;
      continue;
    }
    int Parsed = 0;
    if (!ParseNumber(Value, Number->Min, Number->Max, Parsed))
      return OutOfRange(Name, *Number, Value);
    StoreNumber(Name, Parsed, Into);
  }
  if (Into.Chip.Paced && Into.Chip.Instant)
    return "--paced keeps the chip's working times; it cannot go with --instant";
  if (Into.Chip.Faults.SlowLineBaud > 0 && Into.Chip.Instant)
    return "--slow-drain paces the line and keeps the chip's working times; it cannot go with "
           "--instant";
  return {};
}

const char* SimUsage() {
  return R"(Usage: qkl-sim [options]
A virtual Propeller 1 chip on a pseudo-terminal, as the host meets it on its serial pins: the
ROM boot loader with its handshake, download, RAM checksum and EEPROM programming verdicts.
It prints the path of the pseudo-terminal's slave side on standard output (hand it to qkl -d)
and serves it until it gets SIGINT or SIGTERM.

A pseudo-terminal has no DTR line: the chip resets at the first flush of the port's queues
after each open, which qkl does right after opening the port. Its flush as it closes the port
is no reset (a real port releases DTR, which gives no pulse): a program loaded into RAM keeps
running, and a terminal that opens the port without flushing can talk to it. A chip that
hears no handshake within its window after a reset boots from its EEPROM.

  --eeprom FILE     keep the 32 KB boot EEPROM in FILE (32768 raw bytes); a missing FILE is
                    created blank (all 0xFF); without it the EEPROM lives in memory only
  --rom DIR         boot the chip's own ROM (DIR holds hub_rom_low.hex and hub_rom_high.hex):
                    at every reset the ROM's boot loader runs on the cog emulator, meeting
                    the host's line on P31/P30 and the EEPROM on P28/P29
  --link PATH       also make a symbolic link PATH to the slave side (removed at exit); PATH
                    must not exist yet
  --version N       the version byte the chip reports (0 to 255, default 1; 0 means no chip)
  --clock MHZ       the internal RC clock the boot loader runs on (8 to 20, default 12); it
                    scales the chip's time limits and working times
  --instant         give verdicts at once instead of after realistic working times (RAM
                    checksum 0.1 s, EEPROM programming 3.96 s, verifying 1.32 s at 12 MHz)
  --paced           carry the link rate in real time: each byte takes ten bit times on the
                    line in each direction (the host's reach the chip when their last bit is
                    in, the chip's reach the host one per ten bit times), and the chip keeps
                    its realistic working times
  --no-emulator     do not run a loaded image; by default it runs on the cog emulator at the
                    --clock rate, with the host's line on P31/P30 and the EEPROM on P28/P29
  --log             report what the chip sees and does on standard error
  --help            show this text

Faults, for tests:
  --absent          no chip on the line: nothing answers
  --echo            the line sends every byte straight back to the host
  --wrong-answer N  invert handshake answer bit N (1 to 258; 251 to 258 are the version bits)
  --garbage-from N  from answer N on, send 0x55 in place of 0xFE/0xFF
  --noise-while-busy N  answer each poll that comes while verdict N (1 RAM checksum, 2 EEPROM
                    programming, 3 EEPROM verify) is not ready with 0x55
  --fail-ram        report a wrong RAM checksum
  --fail-program    report an EEPROM programming error (the EEPROM is not written)
  --fail-verify     report an EEPROM verify error
  --silent-after-verdict N  send only the first N verdicts (0 to 3)
  --stop-after-bytes N  send only the first N bytes after each reset
  --close-after N   close the chip's side of the line after N host bytes following a reset
  --slow-drain BAUD  a paced line that carries at most BAUD (300 to 230400) in each direction,
                    whatever rate the host set, so it takes the host's writes slowly
  --no-eeprom       nothing acknowledges on the EEPROM bus (P28/P29): programming fails, no EEPROM boot
  --sda-low         something holds the EEPROM's data line P29 low
  --program-stops-after N  a running program stops after N answers on the line
  --corrupt-crc     the first bit of the EEPROM reader's checksum arrives inverted
)";
}

}  // namespace sim
