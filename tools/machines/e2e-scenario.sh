#!/usr/bin/env bash
# End-to-end scenarios: two copies of Talmox on two simulated machines, A and B, driven the way a
# person would drive them, over a serial cable, a LAN (peer found by broadcast) or a WAN link.
#   e2e-scenario.sh SCENARIO BUILD
# SCENARIO: LINK_send_three LINK_name_conflict LINK_many LINK_ask, where LINK is
#           serial, lan or wan (cancels have a run of their own, tools/test/e2e-cancels.sh)
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

# Waits for a message box with the caption on machine M, presses OK, and prints its message.
take_box() {
  local m=$1 caption=$2 ms=$3 out
  out=$(machine_drive "$work/$m" box "$caption" "$ms") || { echo "$out" >&2; return 1; }
  box_text <<< "$out"
}

expect_box() {
  local m=$1 caption=$2 want=$3 ms=${4:-90000} got
  got=$(take_box "$m" "$caption" "$ms") || fail "$m showed no \"$caption\" box"
  said[$m]="$caption: $got"
  echo "$m said ($caption): $got"
  [ "$got" = "$want" ] || fail "$m said \"$got\", expected \"$want\""
}

summary_of() { machine_summary "$work/$1"; }

expect_summary() {
  local m=$1 want=$2 got
  got=$(summary_of "$m")
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
# serial (a socat pty pair as COM1 on both), lan or wan (namespaces joined by a veth pair).
setup_pair() {
  local link=$1 sizeB=${2:-1024x768} extraB=${3:-} type peer=() nA= nB= comA= comB=
  case $link in
    serial) type=2 ;;
    lan) type=5 ;;
    wan) type=6; peer=('"PeerIP"=dword:0a630002') ;;   # 10.99.0.2, first octet highest
  esac
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
  machine_setup "$A" "$nA" $type "$comA" 1024x768 '"Preferences"=dword:0000000e' "${peer[@]}" ||
    fail "cannot make machine A"
  machine_setup "$B" "$nB" $type "$comB" "$sizeB" '"Preferences"=dword:0000000e' \
    '"CurDir"="C:\\recv"' $extraB || fail "cannot make machine B"
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
  if [ "$link" = lan ]; then setup_pair lan 320x480; else setup_pair "$link"; fi
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

# B already holds one.bin: A is told of the conflict and keeps its Send List; B keeps its file.
name_conflict() {
  setup_pair "$1"
  make_file "$(sendA big.bin)" $BIG
  make_file "$(sendA one.bin)" 1
  make_file "$(sendA block.bin)" 4096
  echo "B's own one.bin" > "$(recvB one.bin)"
  machine_talmox "$B"; wait_main B
  fill_send_list big.bin one.bin block.bin
  machine_drive "$A" post 40017
  expect_box A "Error" \
    "One or more file names conflict with existing files on the recipient's machine."
  expect_summary A "Files: 3  Bytes: 4.0M"
  # Over a serial cable B shows its status dialog when the list arrives; the refusal must
  # end it there too, however soon the sender's abort came.
  machine_drive "$B" gone "File Xfer Status" 10000 >/dev/null ||
    fail "B's status dialog stayed up after it refused the batch"
  machine_drive "$B" box "Receive File(s)" 2000 >/dev/null
  [ "$(cat "$(recvB one.bin)")" = "B's own one.bin" ] || fail "B's one.bin was changed"
  [ -e "$(recvB big.bin)" ] || [ -e "$(recvB block.bin)" ] && fail "B wrote files of a refused batch"
  echo "B's one.bin is untouched and nothing else arrived"
}

# Send Lists of 99, 100 and 256 files: more than 99 go as consecutive batches of at most 99,
# each a batch of its own at B (one result box each); A's one result box counts them all, its
# Send List empties, and every file at B is byte-identical.
many() {
  setup_pair "$1"
  local dir="$A/pfx/drive_c/many files" n round=0 i f
  mkdir -p "$dir"
  machine_talmox "$B"; wait_main B
  ( while take_box B "Receive File(s)" 600000 >> "$work/B.boxes"; do :; done ) &
  local answerB=$!
  for n in 99 100 256; do
    round=$((round + 1))
    local names=()
    for i in $(seq -w 1 "$n"); do
      f=r$round-$i.bin; names+=("$f")
      head -c $((RANDOM % 3000 + 1)) /dev/urandom > "$dir/$f"
    done
    step "A sends a Send List of $n files"
    machine_hand_files "$A" 'C:\many files' "${names[@]}" || fail "A took no Send List of $n"
    local got
    got=$(machine_await_count "$A" "$n") || fail "A's Send List reads \"$got\", not $n files"
    machine_drive "$A" post 40017
    expect_box A "Send File(s)" "$n of $n files sent successfully" 300000
    expect_summary A "Files: 0  Bytes: 0"
    for f in "${names[@]}"; do cmp -s "$dir/$f" "$(recvB "$f")" || fail "$f at B differs from A's"; done
    echo "the $n files at B are byte-identical to A's"
  done
  for _ in $(seq 40); do [ "$(wc -l < "$work/B.boxes")" -ge 6 ] && break; sleep 0.25; done
  kill $answerB 2>/dev/null
  # Each batch is one at B; a batch that starts before the last one's status dialog has gone
  # is shown by that dialog, so two batches may share a box. No box may count a file lost.
  local boxes
  boxes=$(tr '\n' ';' < "$work/B.boxes")
  [ "$(wc -l < "$work/B.boxes")" -ge 3 ] || fail "B showed fewer result boxes than sends: \"$boxes\""
  grep -qvE '^([0-9]+) of \1 files received successfully from 10\.99\.0\.1$' "$work/B.boxes" &&
    fail "B's result boxes count a file lost: \"$boxes\""
  echo "B's result boxes: $boxes"
}

# B asks before receiving (set in its registry, shown in its Settings dialog): the batch waits
# for B's answer. Accepted, it arrives whole and both boxes count it; declined, A is told the
# receiver would not create the files, keeps its Send List, and B writes nothing; on the LAN,
# a question left unanswered is declined by itself after its 60 seconds.
ask() {
  local link=$1 f
  setup_pair "$link" 1024x768 '"AskBeforeReceiving"=dword:00000001'
  make_file "$(sendA big.bin)" $BIG
  make_file "$(sendA one.bin)" 1
  machine_talmox "$B"; wait_main B
  step "B's Settings show the setting on"
  machine_drive "$B" post 40008
  machine_drive "$B" wait Settings 10000 | grep -q 'Ask before receiving files' ||
    fail "B's Settings dialog has no \"Ask before receiving files\""
  shot B "settings-ask-$link" Settings
  machine_drive "$B" click Settings 1 5000 >/dev/null || fail "B's Settings dialog did not close on OK"
  fill_send_list big.bin one.bin
  local from; from=$(sender_of "$link")
  local answers=(accept decline)
  [ "$link" = lan ] && answers+=(time-out)
  local answer
  for answer in "${answers[@]}"; do
    step "A sends; B's user is asked, and the answer is: $answer"
    machine_drive "$A" post 40017
    local q
    q=$(machine_drive "$B" wait "Receive Files" 30000) || fail "B asked nothing"
    grep -q "$from wants to send you 2 file(s), 4.0M in all:" <<< "$q" ||
      fail "B's question reads \"$(grep -E '^103[0-2]' <<< "$q" | tr '\n' ' ')\""
    [ "$(ls "$B/pfx/drive_c/recv" | wc -l)" -eq 0 ] || fail "B wrote files before its user answered"
    case $answer in
      accept)
        shot B "ask-receive-$link" "Receive Files"
        machine_drive "$B" box "Receive File(s)" 90000 > "$work/B.box" &
        local waitB=$!
        machine_drive "$B" click "Receive Files" 1 5000 >/dev/null || fail "B's Accept did nothing"
        if machine_drive "$B" wait "File Xfer Status" 10000 1009 "from $from" >/dev/null; then
          shot B "xfer-status-receiving-$link" "File Xfer Status"
        else
          echo "note: B's batch ended before its status dialog was seen; no screenshot"
        fi
        expect_box A "Send File(s)" "2 of 2 files sent successfully"
        wait $waitB
        [ "$(box_text < "$work/B.box")" = "2 of 2 files received successfully from $from" ] ||
          fail "B said \"$(box_text < "$work/B.box")\""
        for f in big.bin one.bin; do cmp -s "$(sendA $f)" "$(recvB $f)" || fail "$f at B differs from A's"; done
        echo "accepted: both files at B are byte-identical to A's"
        rm -f "$B/pfx/drive_c/recv/"*
        fill_send_list big.bin one.bin ;;
      decline|time-out)
        if [ "$answer" = decline ]; then
          machine_drive "$B" click "Receive Files" 2 5000 >/dev/null || fail "B's Decline did nothing"
        fi
        expect_box A "Error" \
          "The receiver is unable to create the destination file; the send operation has been aborted." 100000
        machine_drive "$B" gone "Receive Files" 5000 >/dev/null || fail "B's question stayed up"
        expect_summary A "Files: 2  Bytes: 4.0M"
        [ "$(ls "$B/pfx/drive_c/recv" | wc -l)" -eq 0 ] || fail "B wrote files of a batch it declined"
        echo "$answer: A keeps its Send List and B holds nothing" ;;
    esac
  done
}

link=${scenario%%_*}
case $link in serial|lan|wan) ;; *) echo "unknown link in $scenario"; exit 2 ;; esac
case ${scenario#*_} in
  send_three) send_three "$link" ;;
  name_conflict) name_conflict "$link" ;;
  many) many "$link" ;;
  ask) ask "$link" ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
echo "PASS: $scenario"
[ -n "${E2E_SAID_FILE:-}" ] && for m in "${!said[@]}"; do echo "$m	${said[$m]}"; done > "$E2E_SAID_FILE"
exit 0
