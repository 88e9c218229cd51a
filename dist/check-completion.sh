#!/usr/bin/env bash
# Checks the bash completions of qkl and qkl-tool: qkl's options after "-", its program modes
# after -p and the serial devices present after -d (file names do not come there); qkl-tool's
# commands, each command's options, and its values after --size, --reset, --timeout and --port
# (the ports that qkl-tool lists, here of a fake sysfs).
# Usage: check-completion.sh <qkl's completion file> <qkl-tool's completion file> <qkl-tool>
set -uo pipefail
source "$1"
source "$2"
PATH=$(dirname "$3"):$PATH
failures=0

complete_words() {  # the words of a command line, the last one being completed
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  case $1 in
    qkl) _qkl ;;
    qkl-tool) _qkl_tool ;;
  esac
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

expect() {  # description, expected (sorted, space separated), words...
  local got
  got=$(complete_words "${@:3}")
  if [ "$got" != "$2" ]; then
    echo "FAIL $1: got '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}

expect "options" "-d -f -h -l -p -t -u -v " qkl -
expect "program modes" "1 2 3 " qkl -p ""
expect "program mode prefix" "3 " qkl -p 3
expect "option after a file" "-f " qkl prog.binary -f

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/prog.binary" "$work/prog.eeprom"
expect "file names" "$work/prog.binary $work/prog.eeprom " qkl -p 3 "$work/prog"

# -d offers the serial devices present, and only those.
devices=$(complete_words qkl -d "")
present=$(ls -d /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/cu.* 2>/dev/null | sort | tr '\n' ' ')
[ "$devices" = "$present" ] || {
  echo "FAIL -d offered '$devices', present are '$present'"
  failures=$((failures + 1))
}
for device in $devices; do
  [[ -e $device && $device =~ ^/dev/(ttyUSB|ttyACM|ttyS|cu\.) ]] || {
    echo "FAIL -d offered $device"
    failures=$((failures + 1))
  }
done
expect "no file names after -d" "" qkl -d "$work/prog"

expect "qkl-tool's commands" "--help --version load ports read term " qkl-tool ""
expect "load's options" "--all --baud --classic --eeprom --exit-on-eof --help --json --no-status --port --rate --reset --shutdown --terminal --timeout --trace --trace-file " \
  qkl-tool load -
expect "term's options" "--baud --exit-on-eof --help --no-status --port --timeout " qkl-tool term -
expect "nothing after --timeout" "" qkl-tool term --timeout ""
expect "read's options" "--classic --help --port --rate --reset --size --trace --trace-file " \
  qkl-tool read --port x -
expect "ports' options" "--help --json --no-probe --probe --probe-all --reset --trace --trace-file " \
  qkl-tool ports -
expect "sizes" "32K 64K " qkl-tool read --size ""
expect "reset lines" "dtr rts " qkl-tool load --reset ""
expect "qkl-tool's file names" "$work/prog.binary $work/prog.eeprom " qkl-tool load "$work/prog"
mkdir -p "$work/sys/class/tty/ttyUSB7" "$work/sys/class/tty/ttyACM2" "$work/sys/devices/usb" "$work/sys/class/tty/tty1"
ln -s ../../../devices/usb "$work/sys/class/tty/ttyUSB7/device"
ln -s ../../../devices/usb "$work/sys/class/tty/ttyACM2/device"
QKL_SYSFS_TTY=$work/sys/class/tty QKL_DEV_DIR=$work/dev \
  expect "--port offers the ports qkl-tool lists" "$work/dev/ttyACM2 $work/dev/ttyUSB7 " qkl-tool load --port ""

[ "$failures" -eq 0 ] && echo "completion checks passed"
exit "$failures"
