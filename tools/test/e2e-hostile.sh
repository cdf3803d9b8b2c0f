#!/usr/bin/env bash
# A hostile peer against the whole program: tests/e2e/hostilepeer.cpp sends seeded random
# messages and garbage to a copy of Talmox in answer mode, in slices, while the copy is watched.
#   e2e-hostile.sh LINK SECONDS BUILD      LINK: lan or serial
# Machine A runs Talmox; machine B runs the peer (over the LAN to A's port 1756, reconnecting
# now and then; on the cable from B's COM1). After every slice the peer must get a ping answered
# and A's working set, descriptors and threads are sampled from outside; A's result boxes are
# answered as they come. At the end: A's process is the one that started and still shows its
# window; it has grown by at most 8 MiB of working set, 4 descriptors and 1 thread since the
# first slice (a leak of one per connection or per refused list would be hundreds over a long
# run, while Wine's heap moves by a few MiB on its own); no file was created or changed in A's
# drive_c outside C:\recv, and nothing but plain files is in C:\recv; and a clean batch sent
# by a copy of Talmox on B arrives whole. HOSTILE_SEED=N repeats a run, HOSTILE_SLICE_S sets
# the slice (15 s). With HOSTILE_ASK=1, A asks before receiving: the peer's batches are
# declined as their questions come, and the clean batch is accepted. Exits 0 when all held, 1 when not, 77 without network namespaces (1 under CI).
set -u
link=$1 seconds=$2
E2E_BUILD=$(cd "$3" && pwd)
export E2E_BUILD
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../machines/machine-lib.sh"

pair_names hostile "$link"
ask=${HOSTILE_ASK:-0}
[ "$ask" = 1 ] && export PAIR_REG_A='"AskBeforeReceiving"=dword:00000001'
seed=${HOSTILE_SEED:-$$}
slice=${HOSTILE_SLICE_S:-15}
answerer=
# The box answerer stops before the machines go, so that no driver starts a wineserver anew.
cleanup() {
  touch "$work/stop"
  [ -n "$answerer" ] && wait "$answerer" 2>/dev/null
  pair_stop
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { pair_fail "$@"; }

case $link in lan) target=10.99.0.1 port=lan ;; serial) target=COM1 port=serial ;;
  *) echo "unknown link $link"; exit 2 ;; esac
pair_start "$link"
# B's copy gives way to the peer until the clean batch: on the cable it holds B's COM1.
machine_drive "$B" post 40009 >/dev/null
for _ in $(seq 50); do [ -z "$(machine_pids "$B" 'talmox\.exe')" ] && break; sleep 0.2; done
[ -z "$(machine_pids "$B" 'talmox\.exe')" ] || fail "B's copy did not exit"
cp "$E2E_BUILD/hostilepeer.exe" "$B/pfx/drive_c/talmox/"

pid=$(machine_pids "$A" 'talmox\.exe' | head -1)
# Everything on A's C: drive but the destination, with sizes and times, and A's own files.
snapshot() { (cd "$A/pfx/drive_c" && find . -path ./recv -prune -o -printf '%p\t%y\t%s\t%T@\n' | sort); }
snapshot > "$work/before"
: > "$work/boxes"
(cd "$A/pfx/drive_c/talmox" && md5sum ./*) > "$work/own.md5"
( while [ ! -e "$work/stop" ]; do
    machine_drive "$A" box "Receive File(s)" 2000 >/dev/null && echo >> "$work/boxes"
    [ "$ask" = 1 ] && machine_drive "$A" click "Receive Files" 2 300 >/dev/null && echo >> "$work/declined"
  done ) &
answerer=$!

slices=$(( (seconds + slice - 1) / slice ))
echo "seed $seed, $slices slices of $slice s over $link$([ "$ask" = 1 ] && echo ", asking before receiving")"
messages=0
for i in $(seq "$slices"); do
  out=$(machine_wine "$B" 'C:\talmox\hostilepeer.exe' "$port" "$target" $((seed + i)) $((slice * 1000)) \
        2>>"$work/peer.err")
  rc=$?
  out=$(tr -d '\r' <<< "$out")
  messages=$((messages + $(awk '/ messages$/ {print $1}' <<< "$out")))
  grep -qx answers <<< "$out" || fail "slice $i (seed $((seed + i))): A did not answer after it (exit $rc): $(tr '\n' ' ' <<< "$out")"
  kill -0 "$pid" 2>/dev/null || fail "slice $i (seed $((seed + i))): A's process is gone"
  read -r ws h th <<< "$(machine_stats "$A")"
  [ "$ws" != - ] || fail "slice $i: A's main window could not be found to sample"
  echo "after slice $i: working set ${ws} KiB, $h descriptors, $th threads, $(wc -l < "$work/boxes") boxes answered"
  [ "$i" -eq 1 ] && { ws0=$ws h0=$h th0=$th; }
done
[ $((ws - ws0)) -le 8192 ] || fail "A's working set grew from $ws0 to $ws KiB"
[ $((h - h0)) -le 4 ] || fail "A's descriptors grew from $h0 to $h"
[ $((th - th0)) -le 1 ] || fail "A's threads grew from $th0 to $th"

touch "$work/stop"; wait "$answerer"; answerer=
# A connection that closes ends its batch. A serial peer that announced a batch and fell
# silent leaves no sign on the cable: the status dialog waits for the user's Cancel.
if ! machine_drive "$A" gone "File Xfer Status" 30000 >/dev/null; then
  [ "$link" = serial ] || fail "A's status dialog stayed up after the peer's connections closed"
  machine_drive "$A" click "File Xfer Status" 2 15000 >/dev/null ||
    fail "Cancel did not close A's status dialog"
fi
machine_drive "$A" box "Receive File(s)" 1500 >/dev/null
machine_drive "$A" main 3000 >/dev/null || fail "A's main window is gone"
snapshot > "$work/after"
diff "$work/before" "$work/after" > "$work/outside.diff" ||
  fail "files outside C:\\recv created or changed: $(head -5 "$work/outside.diff" | tr '\n' ' ')"
(cd "$A/pfx/drive_c/talmox" && md5sum --quiet -c "$work/own.md5") || fail "A's own files changed"
odd=$(cd "$A/pfx/drive_c/recv" && find . -mindepth 1 ! -type f)
[ -z "$odd" ] || fail "not a plain file in C:\\recv: $odd"
echo "$messages messages; kept in C:\\recv: $(ls "$A/pfx/drive_c/recv" | tr '\n' ' ')"

# A clean batch from B's copy of Talmox, into a destination emptied of what the peer left.
# The folder's name holds a space so that each path on the command line is quoted.
rm -f "$A/pfx/drive_c/recv/"*
mkdir -p "$B/pfx/drive_c/clean batch"
head -c 70001 /dev/urandom > "$B/pfx/drive_c/clean batch/clean1.bin"
head -c 5 /dev/urandom > "$B/pfx/drive_c/clean batch/clean2.bin"
[ "$ask" = 1 ] && { machine_drive "$A" click "Receive Files" 1 60000 >/dev/null & }
machine_batch "$B" "$A" 'C:\clean batch' clean1.bin clean2.bin >/dev/null || fail "the clean batch failed"
[ "$ask" = 1 ] && echo "questions declined: $(wc -l < "$work/declined" 2>/dev/null || echo 0)"
for n in clean1.bin clean2.bin; do
  cmp -s "$B/pfx/drive_c/clean batch/$n" "$A/pfx/drive_c/recv/$n" || fail "clean batch: $n did not arrive whole"
done
echo "PASS: hostile peer over $link"
