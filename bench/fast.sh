#!/usr/bin/env bash
# Runs qkl-tool's fast loader against the paced virtual chip (qkl-sim --paced --crystal 5 on its
# 12 MHz RC clock) beside the classic qkl flows on the same image in the same run, and prints for
# each flow the wall time, a bound, wall/bound and the speed-up over qkl:
#   ram        qkl-tool load            against  qkl -p 1
#   eeprom     qkl-tool load --eeprom --shutdown, every page changed (a blank EEPROM)
#                                       against  qkl -p 2
#   rewrite    the same with four pages changed (the EEPROM holds the image but for those)
#                                       against  qkl -p 2 (whose time does not depend on content)
#   read       qkl-tool read            against  qkl -u
# for a 32 KB image (vbase $7FF0) and a 2 KB one, random, 80 MHz from a 5 MHz crystal with
# PLL16X, at each rate cap and adapter latency (1 and 16 ms). Then at 8, 12 and 20 MHz RC: an
# RCFAST 32 KB load (the rate its RC clock allows) and the crystal image's flows; with no crystal
# fitted and with a 6.25 MHz one, the crystal image's fallback to the classic load and its extra
# time over qkl. Last, with the chip's own ROM (QKL_ROM_DIR, else ../shared/p1-rom beside the
# checkout; left out when it is not there) the 32 KB flows at 12 MHz, without a bound: the ROM
# logs no verdict to take its protocol's time from.
#
# The bound: the host's reset wait (95 ms) + the loader's load by the ROM protocol and the ROM's
# verdict (from the chip's log: its first host byte to its verdict) + the ROM's launch (from the
# log: the verdict to the loader's start) + the loader's 40000 clocks of idle line before it takes
# an attempt + for a crystal image the oscillator's 10 ms + the second stage's and the image's
# packets at the agreed rate (11 bit times a byte) + the chip's EEPROM work on the I2C bus at
# 400 kHz (2.5 us a bit, 9 bits a byte; a page read 68 bytes with its address, a page write 67): a
# full read of each page left as it was, and for each page written its write, its write cycle
# (5 ms) and its read after (the loader's first read of a page stops at its first byte that
# differs; the bound counts none of it); for the read-back, the longer of its sequential I2C read
# and its bytes on the line (10 bit times a byte: the chip's frames have one stop bit). Small
# packets, answers, acknowledge polls, the loader's cog starts and the RAM sum are not counted, so
# the bound is below what any host could reach.
# Every result is checked: the exit status, the EEPROM file against what the boot loader would
# have left, the read-back against the EEPROM file, and the virtual EEPROM's I2C timing. The column
# behind says by how much the virtual chip fell behind real time (log_figures).
# The load average (1 min) is printed on each row: the machine's other work slows the rows.
# Figures only; nothing here fails on speed, only on a wrong result (exit status 1).
#   bench/fast.sh [--quick] [build directory]   (default build/default; needs targets qkl,
#                                                qkl-tool and qkl-sim)
#   --quick: only the 32 KB image at 3000000 baud and 1 ms latency (CI runs this, through
#   bench/run.sh); without it the full table (about twelve minutes; by hand).
set -euo pipefail
quick=0
if [ "${1:-}" = --quick ]; then
  quick=1
  shift
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
# The programs, and the second stage's image that qkl-tool's build generates.
for file in frontend/qkl qkltool/qkl-tool sim/qkl-sim link/generated/FastLoaderStageImage.h; do
  [ -e "$build/$file" ] || { echo "missing $build/$file: build qkl, qkl-tool and qkl-sim" >&2; exit 2; }
done
qkl="$build/frontend/qkl"
tool="$build/qkltool/qkl-tool"
sim="$build/sim/qkl-sim"
stage_header="$build/link/generated/FastLoaderStageImage.h"

work="$(mktemp -d)"
chip=""
failures=0
cleanup() {
  [ -n "$chip" ] && stop_chip
  rm -rf "$work"
}
trap cleanup EXIT

# The second stage's code in bytes: its image's vbase less its start at $0018.
vbase_bytes=($(grep -o '0x[0-9A-F][0-9A-F]' "$stage_header" | sed -n '9,10p'))
stage_bytes=$(((vbase_bytes[1] << 8 | vbase_bytes[0]) - 24))

# size, clock mode, clock Hz, seed, image file, EEPROM file, pages to change: a random image of
# size bytes with its header and checksum, and the 32 KB the boot loader would leave in the EEPROM
# (the image, zeros, the stack markers below dbase). A changed page has one byte inverted; the
# checksum lives in page 0, so page 0 is among those changed.
make_image() {
  perl -e '
    my ($size, $mode, $hz, $seed, $image, $eeprom, @pages) = @ARGV;
    srand($seed);
    my $ram = join("", map { chr(int(rand(256))) } 1 .. $size) . ("\0" x (32768 - $size));
    my $dbase = $size + 8;
    substr($ram, 0, 16) = pack("VCCv5", $hz, oct($mode), 0, 0x10, $size, $dbase, 0x18, $dbase + 8);
    substr($ram, $dbase - 8, 8) = pack("VV", 0xFFF9FFFF, 0xFFF9FFFF);
    substr($ram, $_ * 64 + 32, 1) = chr(ord(substr($ram, $_ * 64 + 32, 1)) ^ 0xFF) for @pages;
    substr($ram, 5, 1) = chr(-unpack("%32C*", $ram) & 0xFF);
    open(my $out, ">:raw", $image) or die; print $out substr($ram, 0, $size); close $out;
    open($out, ">:raw", $eeprom) or die; print $out $ram; close $out;
  ' "$@"
}

blank_eeprom() { perl -e 'print "\xFF" x 32768' >"$1"; }

# Pages of 64 bytes that differ between two 32 KB files.
pages_differing() {
  { cmp -l "$1" "$2" 2>/dev/null || true; } |
    awk '{ page = int(($1 - 1) / 64); if (!(page in seen)) { seen[page] = 1; pages++ } }
         END { print pages + 0 }'
}

# Starts the chip with qkl-sim's options (and rom_options); sets chip (its process) and port (its
# slave path).
rom_options=()
start_chip() {
  : >"$work/chip.out"
  "$sim" --paced --log --eeprom "$work/eeprom.bin" "$@" "${rom_options[@]}" >"$work/chip.out" \
    2>"$work/chip.log" &
  chip=$!
  for _ in $(seq 100); do [ -s "$work/chip.out" ] && break; sleep 0.05; done
  port=$(head -n 1 "$work/chip.out")
}

# A reset halts the emulator, which logs its emulation time; then the chip stops.
stop_chip() {
  "$qkl" -d "$port" >/dev/null 2>&1 || true
  kill "$chip" 2>/dev/null || true
  wait "$chip" 2>/dev/null || true
  chip=""
}

# A classic run that failed gives no figure to compare with: it says so, and counts as a failure.
classic_checked() {
  [ "$status" = 0 ] && return
  echo "qkl $1 failed (exit $status) on qkl-sim ${*:2}:" >&2
  sed 's/^/  /' "$work/run.out" >&2
  failures=$((failures + 1))
}

# Runs a command; sets wall (s) and status. The shell's own clock: a date(1) on each side would
# add its fork and exit, some 5 ms, to every row.
timed() {
  local start end
  start=$EPOCHREALTIME
  status=0
  "$@" >"$work/run.out" 2>&1 || status=$?
  end=$EPOCHREALTIME
  wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
}

load_average() { cut -d ' ' -f 1 /proc/loadavg; }

# From the chip's log: the ROM protocol's part (first host byte to the verdict, of the last load
# before the loader answered), the ROM's launch (the verdict to the loader's start), and how far
# the virtual chip fell behind real time: the most, over its runs, by which the wall time from a
# program's start to its stop (or the next reset) exceeds the chip time the emulator ran in it
# ("-" below 20 ms). A paced line that the machine cannot serve in time holds the chip back.
log_figures() {
  awk '
    function settle(end) {
      if (started != "" && end - started - chip > lag) lag = end - started - chip
      started = ""
    }
    /host bytes begin/ && !answered { begin = $2 }
    /verdict RAM checksum pass/ && !answered { verdict = $2 }
    /first answer .* after the program started/ && !answered { answered = 1 }
    /program starts/ && !answered { launched = $2 }
    /program starts/ { started = $2; stopped = "" }
    /program stops|stopped the chip.s clock/ { if (stopped == "") stopped = $2 }
    /emulated .* of chip time in/ { chip = $(NF - 7); settle(stopped != "" ? stopped : $2) }
    END {
      printf "%.4f %.4f %s\n", verdict - begin, launched - verdict,
             (lag >= 0.020 ? sprintf("%.2fs", lag) : "-")
    }' "$work/chip.log"
}

# The bound of a fast flow: kind (ram, eeprom, read), image bytes (or read bytes), crystal (1/0),
# agreed rate, pages written, RC clock MHz.
fast_bound() {
  local kind=$1 bytes=$2 crystal=$3 rate=$4 pages=$5 clock=$6 rom launch
  read -r rom launch _ <<<"$(log_figures)"
  awk -v kind="$kind" -v bytes="$bytes" -v crystal="$crystal" -v rate="$rate" -v pages="$pages" \
      -v rom="$rom" -v launch="$launch" -v stage="$stage_bytes" -v clock="$clock" '
    function packets(n) { return n + 15 * int((n / 4 + 127) / 128) }
    BEGIN {
      bit = 2.5e-6
      page_read = 68 * 9 * bit
      page_write = 67 * 9 * bit
      bound = 0.095 + rom + launch + 40000 / (clock * 1e6) + packets(stage) * 11 / rate
      if (crystal) bound += 0.010
      if (kind == "read") {
        line = bytes * 10 / rate
        i2c = bytes * 9 * bit
        bound += line > i2c ? line : i2c
      } else {
        bound += packets(bytes) * 11 / rate
        if (kind == "eeprom") bound += (512 - pages) * page_read + pages * (page_write + 0.005 + page_read)
      }
      printf "%.3f", bound
    }'
}

# The rate qkl-tool's line names, or "classic".
path_taken() {
  local rate
  rate=$({ grep -o 'at [0-9]* baud' "$work/run.out" || true; } | tail -n 1 | awk '{ print $2 }')
  echo "${rate:-classic}"
}

# The fastest rate step at most cap that a chip clock of Hz takes (20 clocks a bit).
rate_for() {
  local hz=$1 cap=$2
  for r in 3000000 2000000 921600 460800 230400; do
    if [ "$r" -le "$cap" ] && [ $((r * 20)) -le "$hz" ]; then
      echo "$r"
      return
    fi
  done
  echo 230400
}

# The EEPROM file holds what it should, and the chip's I2C kept the EEPROM's timing.
check_eeprom() {
  cmp -s "$work/eeprom.bin" "$1" && ! grep -q "I2C timing: [1-9]" "$work/chip.log"
}

print_header() {
  printf "%-8s %5s %5s %-7s %3s %-7s %-7s %7s %7s %6s %7s %7s %5s %-6s %s\n" flow image clock crystal \
    lat cap path wall_s bound_s /bound qkl_s speedup load behind result
}

# flow image clock crystal latency cap path wall bound classic load emulator result
print_row() {
  awk -v f="$1" -v i="$2" -v c="$3" -v x="$4" -v l="$5" -v cap="$6" -v p="$7" -v w="$8" -v b="$9" \
      -v q="${10}" -v la="${11}" -v e="${12}" -v r="${13}" 'BEGIN {
    ratio = (b > 0) ? sprintf("%.2f", w / b) : "-"
    speed = (q > 0) ? sprintf("%.2f", q / w) : "-"
    printf "%-8s %5s %5s %-7s %3s %-7s %-7s %7.2f %7s %6s %7s %7s %5s %-6s %s\n", f, i, c, x, l, cap, p,
           w, b, ratio, (q > 0 ? sprintf("%.2f", q) : "-"), speed, la, e, r }'
  [ "${13}" = ok ] || failures=$((failures + 1))
}

# The classic flows on one image: sets classic_ram, classic_eeprom (and classic_read when asked).
classic_flows() {
  local image=$1 expected=$2 chip_options=("${@:4}") want_read=$3
  blank_eeprom "$work/eeprom.bin"
  start_chip "${chip_options[@]}"
  timed "$qkl" -d "$port" -p 1 "$image"
  classic_checked "-p 1" "${chip_options[@]}"
  classic_ram=$wall
  stop_chip
  blank_eeprom "$work/eeprom.bin"
  start_chip "${chip_options[@]}"
  timed "$qkl" -d "$port" -p 2 "$image"
  classic_checked "-p 2" "${chip_options[@]}"
  classic_eeprom=$wall
  stop_chip
  if [ "$status" = 0 ] && ! check_eeprom "$expected"; then
    echo "qkl -p 2 left a wrong EEPROM" >&2
    failures=$((failures + 1))
  fi
  if [ "$want_read" = 1 ]; then
    start_chip "${chip_options[@]}"
    timed "$qkl" -d "$port" -u "$work/dump"
    classic_checked -u "${chip_options[@]}"
    classic_read=$wall
    stop_chip
  fi
}

# One fast flow and its row: flow (ram, eeprom, rewrite, read), image name, image, expected EEPROM,
# EEPROM before, crystal (1/0), classic seconds, clock MHz, crystal MHz, latency, cap.
fast_flow() {
  local flow=$1 name=$2 image=$3 expected=$4 before=$5 crystal=$6 classic=$7 clock=$8 xtal=$9
  local latency=${10} cap=${11} load result=ok pages=0 path bound kind=$flow bytes
  cp "$before" "$work/eeprom.bin"
  load=$(load_average)
  start_chip --clock "$clock" --crystal "$xtal" --adapter-latency-ms "$latency"
  case $flow in
    ram) timed "$tool" load --port "$port" --rate "$cap" "$image" ;;
    eeprom | rewrite) timed "$tool" load --port "$port" --rate "$cap" --eeprom --shutdown "$image" ;;
    read) timed "$tool" read --port "$port" --rate "$cap" "$work/dump" ;;
  esac
  stop_chip
  [ "$status" = 0 ] || result="exit $status"
  case $flow in
    eeprom | rewrite)
      pages=$(pages_differing "$before" "$expected")
      kind=eeprom
      [ "$result" = ok ] && ! check_eeprom "$expected" && result="wrong EEPROM"
      ;;
    read) [ "$result" = ok ] && ! cmp -s "$work/dump" "$before" && result="wrong read-back" ;;
  esac
  bytes=$(stat -c %s "$image")
  path=$(path_taken)
  if [ "$flow" = read ]; then
    bytes=32768
    path=$(awk -v w="$wall" 'BEGIN { print (w > 10 ? "classic" : "fast") }')
  fi
  bound=-
  # The chip's own ROM logs no verdict to take the ROM protocol's time from.
  if [ "$path" != classic ] && [ ${#rom_options[@]} = 0 ]; then
    local rate=$path
    [ "$flow" = read ] && rate=$(rate_for $((clock * 1000000)) "$cap")
    bound=$(fast_bound "$kind" "$bytes" "$crystal" "$rate" "$pages" "$clock")
  fi
  print_row "$flow" "$name" "$clock" "$xtal" "$latency" "$cap" "$path" "$wall" "$bound" \
    "$classic" "$load" "$(log_figures | cut -d ' ' -f 3)" "$result"
  if [ "$result" != ok ]; then
    sed 's/^/  /' "$work/run.out" >&2
    grep -v "host flushes" "$work/chip.log" | tail -n 8 | sed 's/^/  /' >&2
  fi
}

crystal_image() {
  make_image "$1" 0x6F 80000000 "$2" "$work/$3.binary" "$work/$3.eeprom" "${@:4}"
}

# The rows of one image at one clock and latency: classic, then the fast flows at each cap.
image_rows() {
  local name=$1 clock=$2 latency=$3 caps=("${@:4}") cap
  local chip_options=(--clock "$clock" --crystal 5 --adapter-latency-ms "$latency")
  local want_read=0
  [ "$name" = 32K ] && want_read=1
  blank_eeprom "$work/blank.eeprom"
  classic_flows "$work/$name.binary" "$work/$name.eeprom" "$want_read" "${chip_options[@]}"
  for cap in "${caps[@]}"; do
    fast_flow ram "$name" "$work/$name.binary" "$work/$name.eeprom" "$work/blank.eeprom" 1 \
      "$classic_ram" "$clock" 5 "$latency" "$cap"
    fast_flow eeprom "$name" "$work/$name.binary" "$work/$name.eeprom" "$work/blank.eeprom" 1 \
      "$classic_eeprom" "$clock" 5 "$latency" "$cap"
    [ "$name" = 32K ] || continue
    fast_flow rewrite "$name" "$work/$name.binary" "$work/$name.eeprom" "$work/old.eeprom" 1 \
      "$classic_eeprom" "$clock" 5 "$latency" "$cap"
    fast_flow read "$name" "$work/$name.binary" "$work/$name.eeprom" "$work/$name.eeprom" 1 \
      "$classic_read" "$clock" 5 "$latency" "$cap"
  done
}

crystal_image 32752 1 32K
crystal_image 32752 1 old 0 128 256 384
crystal_image 2048 2 2K
make_image 32752 0x00 12000000 3 "$work/rc.binary" "$work/rc.eeprom"
echo "qkl-tool's fast loader against qkl on qkl-sim --paced (image: 80 MHz, 5 MHz crystal x 16)"
print_header
if [ "$quick" = 1 ]; then
  image_rows 32K 12 1 3000000
else
  for latency in 1 16; do
    image_rows 32K 12 "$latency" 3000000 2000000 921600 460800 230400
    image_rows 2K 12 "$latency" 3000000 2000000 921600 460800 230400
  done
  echo "RC clocks; an RCFAST image (rc) and without a crystal or with a wrong one (6.25 MHz)"
  print_header
  blank_eeprom "$work/blank.eeprom"
  for clock in 8 12 20; do
    classic_flows "$work/rc.binary" "$work/rc.eeprom" 0 --clock "$clock"
    fast_flow ram rc "$work/rc.binary" "$work/rc.eeprom" "$work/blank.eeprom" 0 "$classic_ram" \
      "$clock" 5 1 3000000
    fast_flow eeprom rc "$work/rc.binary" "$work/rc.eeprom" "$work/blank.eeprom" 0 \
      "$classic_eeprom" "$clock" 5 1 3000000
    [ "$clock" = 12 ] && continue
    image_rows 32K "$clock" 1 3000000
  done
  for xtal in 0 6.25; do
    classic_flows "$work/32K.binary" "$work/32K.eeprom" 0 --crystal "$xtal"
    fast_flow ram 32K "$work/32K.binary" "$work/32K.eeprom" "$work/blank.eeprom" 1 "$classic_ram" \
      12 "$xtal" 1 3000000
    fast_flow eeprom 32K "$work/32K.binary" "$work/32K.eeprom" "$work/blank.eeprom" 1 \
      "$classic_eeprom" 12 "$xtal" 1 3000000
    fast_flow ram rc "$work/rc.binary" "$work/rc.eeprom" "$work/blank.eeprom" 0 "$classic_ram" \
      12 "$xtal" 1 3000000
  done
  rom_dir="${QKL_ROM_DIR:-$root/../shared/p1-rom}"
  if [ -e "$rom_dir/hub_rom_low.hex" ]; then
    echo "The chip's own ROM (qkl-sim --rom $rom_dir): its boot loader loads the fast loader"
    print_header
    rom_options=(--rom "$rom_dir")
    image_rows 32K 12 1 3000000
    rom_options=()
  else
    echo "No chip ROM in $rom_dir (QKL_ROM_DIR): the rows with the chip's own ROM are left out"
  fi
fi
[ "$failures" = 0 ] || { echo "$failures results wrong" >&2; exit 1; }
