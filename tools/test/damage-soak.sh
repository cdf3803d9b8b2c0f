#!/usr/bin/env bash
# Batches sent between two copies of Talmox over COM1 through the serial relay between two
# pseudo-terminal pairs, which damages the line on purpose in both directions. (A socket's
# bytes come whole or not at all; the in-process damaging sender covers what a socket peer
# can do.) After every batch each file at the receiver must be whole
# and byte-identical to its source, every file the sender counted must be there, and both
# copies must still answer; a broken batch must end as a cancel does, and a clean batch after
# it must succeed.
#   damage-soak.sh BUILD
# Settings from the environment: DAMAGE_BATCHES (4), DAMAGE_FILES per batch (5), DAMAGE_BLOCKS
# (stop early once this many blocks passed), DAMAGE_SEED (the time), DAMAGE_HANG_S (seconds
# before a batch that makes no progress is cancelled, 60); the relays' rates as below.
# Exits 0 when every check held, 1 at the first that did not.
set -u
E2E_BUILD=$(cd "$1" && pwd)
export E2E_BUILD
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../machines/machine-lib.sh"

BATCHES=${DAMAGE_BATCHES:-4}
FILES=${DAMAGE_FILES:-5}
SEED=${DAMAGE_SEED:-$(date +%s)}
HANG_S=${DAMAGE_HANG_S:-60}
work=$E2E_BUILD/e2e/damage-serial
A=$work/A B=$work/B
# A folder name with a space makes Wine quote each path, so that one start hands over many.
SEND_WIN='C:\send files' SEND_SUB='drive_c/send files'

# The relay and B's box answerer go first: a driver started after B's wineserver was stopped
# would start another, which a later run's prefix at the same path could then meet.
cleanup() {
  touch "$work/stop"
  [ -n "$answerer" ] && wait "$answerer" 2>/dev/null
  relay_cable_down "$work"
  machine_destroy "$A"
  machine_destroy "$B"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*"
  print_figures
  local m
  for m in A B; do
    echo "  windows on $m: $(machine_windows "$work/$m")"
    machine_shot "$work/$m" "$work/failed-$m.png" 2>/dev/null && echo "  screen of $m: $work/failed-$m.png"
  done
  # DAMAGE_KEEP=1 leaves both machines running for a look inside, until the file goes.
  if [ -n "${DAMAGE_KEEP:-}" ]; then
    touch "$work/keep"; echo "  kept until $work/keep is removed"
    while [ -e "$work/keep" ]; do sleep 1; done
  fi
  exit 1
}
sendA() { echo "$A/pfx/$SEND_SUB/$1"; }
recvB() { echo "$B/pfx/drive_c/recv/$1"; }
stat_of() { awk -v k="$1" '$1==k {print $2}' "$work/relay.stats" 2>/dev/null; }

# A machine on COM1 (type 2) at the pseudo-terminal TTY, more Talmox settings after.
# Preferences 26: results shown, no delete prompt, overwriting on (a file the sender did not
# count may be sent again).
machine() {
  local dir=$1 tty=$2; shift 2
  machine_setup "$dir" "" 2 "$(readlink -f "$tty")" 800x600 \
    '"Preferences"=dword:0000001a' "$@" && mkdir -p "$dir/pfx/$SEND_SUB"
}

setup() {
  rm -rf "$work"; mkdir -p "$work"
  relay_cable "$work" --baud "${DAMAGE_BAUD:-1000000}" --seed "$SEED" \
    --flip "${DAMAGE_FLIP:-0.00002}" --drop "${DAMAGE_DROP:-0.000005}" \
    --dup "${DAMAGE_DUP:-0.000005}" --stats "$work/relay.stats"
  relay=$(cat "$work/relay.pid")
  machine "$A" "$work/ttyA" || fail "cannot create machine A"
  machine "$B" "$work/ttyB" || fail "cannot create machine B"
  block=4096
  machine_talmox "$B"
  machine_drive "$B" main 30000 >/dev/null || fail "B's main window did not appear"
  # B's result boxes are answered as they come, whatever the batch that shows them.
  ( while [ ! -e "$work/stop" ]; do
      machine_drive "$B" box "Receive File(s)" 2000 | box_text >> "$work/B.boxes"
    done ) &
  answerer=$!
}

# Files of one to four blocks, not a whole number of blocks, random bytes.
make_batch() {
  local b=$1 i size
  for i in $(seq "$FILES"); do
    size=$(( (RANDOM * 32768 + RANDOM) % (4 * block) + 1 ))
    head -c "$size" /dev/urandom > "$(sendA "b$b-$i.bin")"
    echo "b$b-$i.bin"
  done
}

# Puts the files on A's Send List (the first start, or a second start that hands them over).
hand_to_A() {
  machine_hand_files "$A" "$SEND_WIN" "$@" || fail "A's main window did not appear"
  local got n=$(( ${#pending[@]} + $# ))
  got=$(machine_await_count "$A" $n) || fail "A's Send List reads \"$got\", not $n files"
}

# Presses Send and waits for A's result box or error; a batch that goes nowhere for HANG_S
# seconds is cancelled the way a person would. Prints what the box said.
run_batch() {
  local deadline=$((SECONDS + HANG_S)) cancelled=0 out caption
  machine_drive "$A" post 40017 >/dev/null
  while :; do
    for caption in "Send File(s)" "Error"; do
      out=$(machine_drive "$A" box "$caption" 700) && { box_text <<< "$out"; return 0; }
    done
    [ $SECONDS -lt $deadline ] && continue
    [ $cancelled -eq 1 ] && { echo "no result box after the cancel"; return 1; }
    cancelled=1
    deadline=$((SECONDS + HANG_S))
    echo x >> "$work/cancels"
    for caption in "File Xfer Status" "Connecting..."; do
      machine_drive "$A" click "$caption" 2 3000 >/dev/null && break
      caption="no dialog"
    done
    echo "cancelled after ${HANG_S}s without a result ($caption)" >&2
  done
}

# A wait on a machine that fails says why: the driver's own words and exit code (a timeout
# reads "timeout ... still shown"; no words and a wine error mean the driver did not run),
# and the tail of its error log.
wait_gone() {
  local m=$1 caption=$2 ms=$3 out rc
  out=$(machine_drive "$m" gone "$caption" "$ms"); rc=$?
  [ "$rc" -eq 0 ] && return 0
  echo "driver at $(basename "$m"): exit $rc, said: ${out:-nothing}"
  tail -n 5 "$m/driver.err" 2>/dev/null | sed 's/^/  driver.err: /'
  return 1
}

# Every file at B is compared with its source: a difference or a size of its own is a
# corrupt or partial file kept. Every file that A counted (no longer on its Send List) is
# there.
check_batch() {
  local f sent
  # The receiver ends its side on its own: the abort notice, or the connection's end.
  wait_gone "$B" "File Xfer Status" 30000 || fail "B's batch did not end"
  # and its result box is answered before the next batch, as a person at B would: the close
  # of its data socket after the dialog must not meet the next batch's connection.
  sleep 1
  wait_gone "$B" "Receive File(s)" 15000 || fail "B's result box stayed"
  for f in "$B"/pfx/drive_c/recv/*; do
    [ -e "$f" ] || continue
    local name; name=$(basename "$f")
    cmp -s "$f" "$(sendA "$name")" || { corrupt=$((corrupt + 1)); echo "corrupt or partial at B: $name"; }
  done
  local left; left=$(machine_rows "$A" 5)
  for f in "$@"; do
    grep -qxF "$f" <<< "$left" && continue
    [ -e "$(recvB "$f")" ] && continue
    lost=$((lost + 1)); echo "counted as sent but missing at B: $f"
  done
  machine_drive "$A" main 3000 >/dev/null || fail "A no longer answers"
  machine_drive "$B" main 3000 >/dev/null || fail "B no longer answers"
  [ "$corrupt" -eq 0 ] && [ "$lost" -eq 0 ] || fail "a batch left a corrupt or missing file"
}

print_figures() {
  local sent rep
  sent=$(stat_of blocks_sent); rep=$(stat_of blocks_repeated)
  echo "figures (seed $SEED): blocks passed $(( ${sent:-0} - ${rep:-0} )), blocks repeated ${rep:-0}," \
    "batches $done_batches, batches broken $broken, cancelled by the test $(cat "$work/cancels" 2>/dev/null | wc -l)," \
    "files kept $(ls "$B"/pfx/drive_c/recv 2>/dev/null | wc -l), files corrupt ${corrupt:-0}," \
    "files counted as sent but missing ${lost:-0}"
  [ -s "$work/relay.stats" ] && echo "relay: $(tr '\n' ' ' < "$work/relay.stats")"
}

corrupt=0 lost=0 broken=0 done_batches=0 block=0 relay= answerer=
echo "seed $SEED, $BATCHES batches of $FILES files over the serial relay"
setup
RANDOM=$SEED
pending=()
for b in $(seq "$BATCHES"); do
  mapfile -t files < <(make_batch "$b")
  hand_to_A "${files[@]}"
  all=("${pending[@]}" "${files[@]}")
  said=$(run_batch "${#all[@]}") || fail "batch $b: $said"
  done_batches=$((done_batches + 1))
  echo "batch $b (${#all[@]} files): $said"
  check_batch "${all[@]}"
  mapfile -t pending < <(machine_rows "$A" 5)
  if [ "$said" != "${#all[@]} of ${#all[@]} files sent successfully" ]; then
    broken=$((broken + 1))
    echo "batch $b broken: $said"
    # The next batch, with the link quiet, must take what is left.
    kill -USR1 "$relay"
    extra=$(make_batch "c$b" | head -1)
    hand_to_A "$extra"
    all=("${pending[@]}" "$extra")
    said=$(run_batch "${#all[@]}") || fail "the clean batch after $b: $said"
    check_batch "${all[@]}"
    [ "$said" = "${#all[@]} of ${#all[@]} files sent successfully" ] ||
      fail "the clean batch after broken batch $b said \"$said\""
    pending=()
    kill -USR2 "$relay"
  fi
  [ $((b % 10)) -eq 0 ] && print_figures
  passed=$(( $(stat_of blocks_sent) - $(stat_of blocks_repeated) ))
  [ -n "${DAMAGE_BLOCKS:-}" ] && [ "$passed" -ge "$DAMAGE_BLOCKS" ] && break
done
print_figures
echo "PASS: damage over the serial relay"
