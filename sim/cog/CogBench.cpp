// Emulation speed: instructions per second of wall time for busy cogs, and, given the ROM
// directory, how fast the ROM's boot loader runs against real time at 20 MHz.
//   qkl-cog-bench [ROM_DIRECTORY]
#include <chrono>
#include <cstdio>
#include <vector>

#include "sim/cog/Chip.h"
#include "sim/cog/Instruction.h"

namespace {

using qkl::cog::Chip;
using qkl::cog::ChipConfig;

constexpr uint32_t Word(uint32_t opcode, uint32_t zcri, uint32_t d, uint32_t s) {
  return (opcode << 26) | zcri | (0xFu << 18) | (d << 9) | s;
}
constexpr uint32_t kR = 1u << 23;
constexpr uint32_t kI = 1u << 22;
constexpr uint32_t kWc = 1u << 24;

// A loop of register arithmetic, a conditional and a DJNZ back, as a CRC or bit loop has.
std::vector<uint32_t> AluLoop() {
  using namespace qkl::cog;
  return {Word(kAdd, kR | kI, 10, 3),  Word(kShr, kR | kI | kWc, 11, 1),
          Word(kXor, kR, 11, 10),      Word(kAnd, kR | kI, 12, 0x55),
          Word(kMuxC, kR | kI, 13, 1), Word(kDjnz, kR | kI, 14, 0),
          Word(kJmpRet, kI, 0, 0)};
}

// Hub traffic: a read and a write per turn.
std::vector<uint32_t> HubLoop() {
  using namespace qkl::cog;
  return {Word(kRdWrLong, kR, 10, 15), Word(kAdd, kR | kI, 10, 1), Word(kRdWrLong, 0, 10, 15),
          Word(kJmpRet, kI, 0, 0)};
}

void Load(Chip& chip, uint32_t cog, const std::vector<uint32_t>& code) {
  const uint32_t base = 0x1000 + 0x800 * cog;
  for (uint32_t i = 0; i < code.size(); ++i) chip.Memory().WriteLong(base + 4 * i, code[i]);
  chip.Memory().WriteLong(base + 4 * 14, 0xFFFFFFFF);  // DJNZ counter
  chip.Memory().WriteLong(base + 4 * 15, 0x7000 + 4 * cog);
  chip.StartCog(cog, base, 0);
}

void Measure(const char* name, const std::vector<uint32_t>& code, uint32_t cogs, uint64_t cycles) {
  Chip chip(ChipConfig{});
  for (uint32_t cog = 0; cog < cogs; ++cog) Load(chip, cog, code);
  const auto start = std::chrono::steady_clock::now();
  chip.Run(cycles, 0);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double instructions = static_cast<double>(chip.InstructionCount());
  std::printf("%-34s %6.1f M instructions/s  (%4.0f M clocks/s, %.0f M instructions in %.2f s)\n",
              name, instructions / wall / 1e6, cycles / wall / 1e6, instructions / 1e6, wall);
}

// The boot loader with the host line idle high polls it continually until it gives up.
void MeasureBootLoader(const char* directory) {
  ChipConfig config;
  config.clock.rcFastHz = 20e6;
  config.romDirectory = directory;
  Chip chip(config);
  chip.DriveExternally(1u << 31, 1u << 31);
  chip.SetPullUps(1u << 29);
  const auto start = std::chrono::steady_clock::now();
  while (!chip.ClockStopped() && chip.Seconds() < 0.12) chip.Run(chip.Cycle() + 100000, 0);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "%-34s %6.1f x real time at 20 MHz  (%.3f s emulated in %.3f s, %.1f M instructions/s)\n",
      "ROM boot loader, host line idle", chip.Seconds() / wall, chip.Seconds(), wall,
      chip.InstructionCount() / wall / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  Measure("one cog, ALU loop", AluLoop(), 1, 400'000'000);
  Measure("eight cogs, ALU loop", AluLoop(), 8, 100'000'000);
  Measure("one cog, hub read and write loop", HubLoop(), 1, 200'000'000);
  if (argc > 1) MeasureBootLoader(argv[1]);
  return 0;
}
