#!/usr/bin/env bash
# The two-copy scenario: two copies of Talmox on two simulated machines, A and B, driven the way
# a person would drive them, over a serial cable or a LAN (peer found by broadcast). The
# suite runs it once per link, and `make run` shows it.
#   e2e-scenario.sh LINK_send_three BUILD      (LINK: serial or lan)
# Exits 0 when every check held, 1 at the first that did not, 77 when the machine cannot make
# what the scenario needs (network namespaces; 1 under CI). Screenshots go to BUILD/e2e/shots.
set -u
scenario=$1
E2E_BUILD=$(cd "$2" && pwd)
export E2E_BUILD
here=$(cd "$(dirname "$0")" && pwd)
. "$here/machine-lib.sh"

work=$E2E_BUILD/e2e/$scenario
shots=$E2E_BUILD/e2e/shots
A=$work/A
B=$work/B
# The 32-bit suite's namespaces have names of their own, so that it may run beside the 64-bit one.
tag=e2e; [ -n "${TALMOX_WINE32ROOT:-}" ] && tag=w32e2e
nsA=$tag-$scenario-a
nsB=$tag-$scenario-b
BIG=$((4 * 1048576 + 1234))            # a few MiB, not a whole number of blocks
# Where a result box is expected, what it said; make run prints these.
declare -A said=()

trap 'pair_down "$A" "$B" "$nsA" "$nsB" "$work"' EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*"
  mkdir -p "$shots"
  local m
  for m in A B; do
    local d=$work/$m
    [ -s "$d/display" ] && machine_shot "$d" "$shots/$scenario-failed-$m.png" 2>/dev/null &&
      echo "  screen of $m at the failure: $shots/$scenario-failed-$m.png"
  done
  exit 1
}

step() { echo "== $*"; }

# Waits for a message box with the caption on machine M, presses OK, and checks its message.
expect_box() {
  local m=$1 caption=$2 want=$3 ms=${4:-90000} got out
  out=$(machine_drive "$work/$m" box "$caption" "$ms") || fail "$m showed no \"$caption\" box"
  got=$(box_text <<< "$out")
  said[$m]="$caption: $got"
  echo "$m said ($caption): $got"
  [ "$got" = "$want" ] || fail "$m said \"$got\", expected \"$want\""
}

expect_summary() {
  local m=$1 want=$2 got
  got=$(machine_summary "$work/$m")
  [ "$got" = "$want" ] || fail "$m's Send List summary reads \"$got\", expected \"$want\""
  echo "$m's Send List: $got"
}

# The names in a list view of the main window (5: Send List, 4: file pane), top row first.
list_names() { machine_rows "$work/$1" "$2"; }

wait_main() {
  local out rc
  out=$(machine_drive "$work/$1" main 30000) && return 0
  rc=$?
  fail "$1's main window did not appear (the driver ended with $rc: \"$out\"; wine said \"$(tail -3 "$work/$1/driver.err" "$work/$1/talmox.log" 2>/dev/null | tr '\n' ' ')\")"
}

# A second start of the program on machine M with a path: it hands the path to the running copy.
second_start() {
  local m=$1 path=$2
  machine_exec "$work/$m" timeout 30 wine 'C:\talmox\talmox.exe' "$path" >/dev/null 2>&1 ||
    fail "the second start of $m with $path did not end"
}

shot() {
  local m=$1 name=$2 caption=${3:-}
  machine_shot "$work/$m" "$shots/$name.png" "$caption" && echo "screenshot: $shots/$name.png"
}

make_file() { head -c "$2" /dev/urandom > "$1"; }

# Machines A (sender, CurDir C:\send) and B (receiver, its file pane on C:\recv) for a link:
# serial (a socat pty pair as COM1 on both) or lan (namespaces joined by a veth pair).
setup_pair() {
  local link=$1 sizeB=${2:-1024x768} type=2 nA= nB= comA= comB=
  [ "$link" = lan ] && type=5
  rm -rf "$work"; mkdir -p "$work" "$shots"
  if [ "$link" = serial ]; then
    pty_pair "$work"
    comA=$(readlink -f "$work/ttyA") comB=$(readlink -f "$work/ttyB")
  else
    lan_down "$nsA" "$nsB"
    lan_up "$nsA" "$nsB" "$(echo "$scenario" | cut -c1-3)$$" 2>"$work/netns.err" ||
      skip_case "network namespaces cannot be made here: $(head -1 "$work/netns.err")"
    nA=$nsA nB=$nsB
  fi
  # Preferences 14: the delete prompt, results shown, no overwriting.
  machine_setup "$A" "$nA" $type "$comA" 1024x768 '"Preferences"=dword:0000000e' ||
    fail "cannot make machine A"
  machine_setup "$B" "$nB" $type "$comB" "$sizeB" '"Preferences"=dword:0000000e' \
    '"CurDir"="C:\\recv"' || fail "cannot make machine B"
}

# Who B is told sent a batch: A's owner name from the serial handshake (A has none set, so
# the program's "No Name"), else A's address.
sender_of() { [ "$1" = serial ] && echo "No Name" || echo 10.99.0.1; }

sendA() { echo "$A/pfx/drive_c/send/$1"; }
recvB() { echo "$B/pfx/drive_c/recv/$1"; }

# Starts A with the first file on its command line and hands it the others by second starts,
# checking the count after each; the Send List then shows the newest file on top.
fill_send_list() {
  local n=0 f
  for f in "$@"; do
    n=$((n + 1))
    if [ $n -eq 1 ]; then
      machine_talmox "$A" "C:\\send\\$f"
      wait_main A
    else
      second_start A "C:\\send\\$f"
    fi
    local got
    got=$(machine_await_count "$A" $n) || fail "after adding $f A's summary reads \"$got\", not $n files"
  done
  echo "A's Send List: $got"
  local order; order=$(list_names A 5 | tr '\n' ' ')
  local want_order=""
  for f in "$@"; do want_order="$f $want_order"; done
  [ "$order" = "$want_order" ] || fail "A's Send List reads \"$order\", expected \"$want_order\""
}

# Three files from A to B: byte-identical at B, both result boxes, A's Send List emptied, B's
# file pane showing them. On the LAN, A presses Send before B runs, so "Connecting..." stays up
# until B answers the probe; B's screen there is taller than wide (the narrow layout).
send_three() {
  local link=$1 block
  [ "$link" = serial ] && block=4096 || block=32768
  if [ "$link" = lan ]; then setup_pair lan 320x480; else setup_pair serial; fi
  make_file "$(sendA big.bin)" $BIG
  make_file "$(sendA one.bin)" 1
  make_file "$(sendA block.bin)" $block

  if [ "$link" != lan ]; then
    step "B starts and waits in answer mode"
    machine_talmox "$B"; wait_main B
  fi
  step "A starts with big.bin; second starts hand it one.bin and block.bin"
  fill_send_list big.bin one.bin block.bin
  shot A "main-wide-$link" TALMOX

  if [ "$link" = lan ]; then
    step "A presses Send while B is not running yet"
    machine_drive "$A" post 40017
    local conn
    conn=$(machine_drive "$A" wait "Connecting..." 15000) || fail "A showed no \"Connecting...\""
    shot A "connecting-$link" "Connecting..."
    grep -q 'Align infrared' <<< "$conn" && fail "the LAN's \"Connecting...\" shows the infrared hint"
    sleep 1
    machine_drive "$A" wait "Connecting..." 1000 >/dev/null || fail "\"Connecting...\" went away with no peer"
    step "B starts on a narrow screen; A's probe finds it"
    machine_talmox "$B"; wait_main B
    shot B "main-narrow-$link" TALMOX
    machine_drive "$B" box "Receive File(s)" 90000 > "$work/B.box" &
  else
    machine_drive "$B" box "Receive File(s)" 90000 > "$work/B.box" &
    step "A presses Send"
    machine_drive "$A" post 40017
  fi
  local waitB=$!
  if machine_drive "$A" wait "File Xfer Status" 30000 1002 "of 3 Files" >/dev/null; then
    shot A "xfer-status-$link" "File Xfer Status"
  else
    echo "note: the transfer ended before its status dialog showed a count; no screenshot"
  fi
  expect_box A "Send File(s)" "3 of 3 files sent successfully"
  wait $waitB
  local gotB; gotB=$(box_text < "$work/B.box")
  said[B]="Receive File(s): $gotB"
  echo "B said (Receive File(s)): $gotB"
  [ "$gotB" = "3 of 3 files received successfully from $(sender_of "$link")" ] || fail "B said \"$gotB\""

  local f
  for f in big.bin one.bin block.bin; do
    cmp -s "$(sendA $f)" "$(recvB $f)" || fail "$f at B differs from A's"
  done
  echo "the three files at B are byte-identical to A's"
  expect_summary A "Files: 0  Bytes: 0"
  [ "$(list_names A 5 | wc -l)" -eq 0 ] || fail "A's Send List still has rows"
  local pane; pane=$(list_names B 4 | sort | tr '\n' ' ')
  [ "$pane" = "big.bin block.bin one.bin " ] || fail "B's file pane lists \"$pane\""
  echo "B's file pane lists: $pane"
  shot B "main-after-$link" TALMOX
}

link=${scenario%%_*}
case $link in serial|lan) ;; *) echo "unknown link in $scenario"; exit 2 ;; esac
case ${scenario#*_} in
  send_three) send_three "$link" ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
echo "PASS: $scenario"
[ -n "${E2E_SAID_FILE:-}" ] && for m in "${!said[@]}"; do echo "$m	${said[$m]}"; done > "$E2E_SAID_FILE"
exit 0
