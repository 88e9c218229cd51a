#include "sim/SimOptions.h"

#include <charconv>

namespace qkl::sim {

namespace {

struct NumberOption {
  const char* name;
  int min;
  int max;
};

bool ParseNumber(const std::string& text, int min, int max, int& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end && value >= min && value <= max;
}

bool* FlagNamed(const std::string& name, SimOptions& into) {
  ChipFaults& faults = into.chip.faults;
  const std::pair<const char*, bool*> flags[] = {
      {"--instant", &into.chip.instant},     {"--log", &into.log},
      {"--paced", &into.chip.paced},         {"--help", &into.help},
      {"--absent", &faults.absent},          {"--echo", &faults.echo},
      {"--fail-ram", &faults.failRam},       {"--fail-program", &faults.failProgram},
      {"--fail-verify", &faults.failVerify}, {"--no-eeprom", &faults.noEeprom},
      {"--sda-low", &faults.sdaHeldLow},     {"--corrupt-crc", &faults.corruptCrc},
  };
  for (const auto& [each, target] : flags)
    if (name == each) return target;
  return nullptr;
}

// Stores a number option; false when `name` is not one.
bool StoreNumber(const std::string& name, int value, SimOptions& into) {
  ChipFaults& faults = into.chip.faults;
  if (name == "--version")
    into.chip.version = static_cast<uint8_t>(value);
  else if (name == "--clock")
    into.chip.clockHz = value * 1e6;
  else if (name == "--page-write-ms")
    into.chip.pageWriteSeconds = value * 1e-3;
  else if (name == "--wrong-answer")
    faults.wrongAnswerAt = value;
  else if (name == "--garbage-from")
    faults.garbageFrom = value;
  else if (name == "--noise-while-busy")
    faults.noiseWhileBusy = value;
  else if (name == "--silent-after-verdict")
    faults.silentAfterVerdict = value;
  else if (name == "--stop-after-bytes")
    faults.stopAfterBytes = value;
  else if (name == "--close-after")
    faults.closeAfterBytes = value;
  else if (name == "--slow-drain")
    faults.slowLineBaud = value;
  else if (name == "--program-stops-after")
    faults.programStopsAfter = value;
  else if (name == "--corrupt-byte")
    faults.corruptByteAfter = value;
  else if (name == "--adapter-latency-ms")
    into.chip.adapterLatencyMs = value;
  else
    return false;
  return true;
}

const NumberOption kNumberOptions[] = {
    {"--version", 0, 255},
    {"--clock", 8, 20},
    {"--page-write-ms", 1, 20},
    {"--wrong-answer", 1, 258},
    {"--garbage-from", 1, 1 << 30},
    {"--noise-while-busy", 1, 3},
    {"--silent-after-verdict", 0, 3},
    {"--stop-after-bytes", 0, 1 << 30},
    {"--close-after", 0, 1 << 30},
    {"--slow-drain", 300, 230400},
    {"--program-stops-after", 0, 1 << 30},
    {"--corrupt-byte", 0, 1 << 30},
    {"--adapter-latency-ms", 1, 255},
};

const NumberOption* NumberOptionNamed(const std::string& name) {
  for (const NumberOption& each : kNumberOptions)
    if (name == each.name) return &each;
  return nullptr;
}

std::string OutOfRange(const std::string& name, const NumberOption& number,
                       const std::string& value) {
  std::string text = name + " takes a whole number from ";
  text += std::to_string(number.min) + " to " + std::to_string(number.max);
  return text + ", not " + value;
}

// The crystal in MHz, a decimal such as 6.25; 0 for none.
std::string StoreCrystal(const std::string& value, SimOptions& into) {
  constexpr double kMostMhz = 80;
  double mhz = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, mhz, std::chars_format::fixed);
  if (error != std::errc() || stop != end || !(mhz >= 0 && mhz <= kMostMhz))
    return "--crystal takes a number of MHz from 0 (none fitted) to 80, not " + value;
  into.chip.crystalHz = mhz * 1e6;
  return {};
}

}  // namespace

std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& into) {
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& name = arguments[index];
    if (bool* flag = FlagNamed(name, into)) {
      *flag = true;
      continue;
    }
    if (name == "--no-emulator") {
      into.chip.runImages = false;
      continue;
    }
    if (name == "--crystal") {
      if (index + 1 == arguments.size()) return name + " needs a value";
      if (std::string error = StoreCrystal(arguments[++index], into); !error.empty()) return error;
      continue;
    }
    const NumberOption* number = NumberOptionNamed(name);
    const bool takesPath = name == "--eeprom" || name == "--link" || name == "--rom";
    if (!number && !takesPath) return "unknown option " + name;
    if (index + 1 == arguments.size()) return name + " needs a value";
    const std::string& value = arguments[++index];
    if (takesPath) {
      if (value.empty()) return name + " needs a path";
      (name == "--eeprom" ? into.chip.eepromPath
       : name == "--rom"  ? into.chip.romDirectory
                          : into.linkPath) = value;
      continue;
    }
    int parsed = 0;
    if (!ParseNumber(value, number->min, number->max, parsed))
      return OutOfRange(name, *number, value);
    StoreNumber(name, parsed, into);
  }
  if (into.chip.paced && into.chip.instant)
    return "--paced keeps the chip's working times; it cannot go with --instant";
  if (into.chip.adapterLatencyMs != ChipSettings{}.adapterLatencyMs && !into.chip.paced &&
      into.chip.faults.slowLineBaud == 0)
    return "--adapter-latency-ms times the paced line; it needs --paced";
  if (into.chip.faults.slowLineBaud > 0 && into.chip.instant)
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
  --page-write-ms MS  the EEPROM's self-timed write cycle for each of its 512 pages (1 to 20,
                    default 5); the boot loader gives up on a write cycle longer than its
                    400 tries of the next write command (about 10 ms at 20 MHz, 25 ms at 8)
  --crystal MHZ     the crystal on XI/XO in MHz, a decimal such as 6.25 (0 to 80, default 5;
                    0: none fitted, and a program that selects a crystal mode stops the chip);
                    a program's crystal and PLL modes run the chip at crystal x PLL, once the
                    oscillator and PLL have had 10 ms to settle
  --instant         give verdicts at once instead of after realistic working times (RAM
                    checksum 0.1 s, EEPROM programming 4.03 s, verifying 1.32 s at 12 MHz
                    with 5 ms pages)
  --paced           carry the link rate in real time (any rate the host sets, standard or not,
                    up to 3000000 baud): each byte takes ten bit times on the line in each
                    direction, eleven when the host sets two stop bits (the host's reach the
                    chip when their last bit is in, the chip's reach the host one per byte
                    time), and the chip keeps
                    its realistic working times
  --adapter-latency-ms MS  on a paced line, hand the chip's bytes to the host every MS
                    milliseconds (1 to 255, default 1), or as soon as 62 of them fill a USB
                    packet, as a USB serial adapter's latency timer does (16 on FTDI's default)
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
                    programming, 3 EEPROM verify) is not ready, and its first poll in any
                    case, with 0x55
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
  --corrupt-byte N  the host byte after the first N that reach a running program (counted
                    from the image's start) arrives with one bit inverted, once after each reset
)";
}

}  // namespace qkl::sim
