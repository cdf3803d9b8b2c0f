#!/usr/bin/env bash
# A long run: two copies of Talmox send batches to each other in turn, the result boxes answered
# by the driver, and each copy's working set, handles and threads sampled from outside.
#   e2e-turns.sh LINK BATCHES BUILD      LINK: serial or lan; BATCHES at least 8
# Each batch is three files of up to TURNS_MAX_KIB (64) KiB. After every batch every file must
# have arrived byte-identical; at the end neither copy may have grown over its figures after
# the fourth batch by more than 8 MiB of working set, 4 descriptors or 1 thread, so that a
# leak of one of each per batch shows. Exits 0 when all held, 1 when not, 77 without
# network namespaces (1 under CI).
set -u
link=$1 batches=$2
E2E_BUILD=$(cd "$3" && pwd)
export E2E_BUILD
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../machines/machine-lib.sh"

pair_names turns "$link"
WINDIR='C:\turn files' SUBDIR='drive_c/turn files'
seed=${TURNS_SEED:-$$}
MAX_KIB=${TURNS_MAX_KIB:-64}
# A batch of three such files takes seconds; one that has not ended in two minutes is stuck, and
# failing it here leaves pictures of both screens, where ctest's time-out would leave none.
export BATCH_WAIT_MS=${BATCH_WAIT_MS:-120000}
RANDOM=$seed
trap pair_stop EXIT
trap 'exit 1' INT TERM
fail() { pair_fail "$@"; }

case $link in lan|serial) ;; *) echo "unknown link $link"; exit 2 ;; esac
pair_start "$link"
mkdir -p "$A/pfx/$SUBDIR" "$B/pfx/$SUBDIR"
echo "seed $seed, $batches batches over $link"

declare -A base=()
files=0 seconds=0
for i in $(seq "$batches"); do
  if [ $((i % 2)) -eq 1 ]; then s=$A r=$B; else s=$B r=$A; fi
  names=()
  for k in 1 2 3; do
    n=b$i-$k.bin
    head -c $(( (RANDOM * 32768 + RANDOM) % (MAX_KIB * 1024) + k)) /dev/urandom > "$s/pfx/$SUBDIR/$n"
    names+=("$n")
  done
  t=$(machine_batch "$s" "$r" "$WINDIR" "${names[@]}") || fail "batch $i from $(basename "$s") failed"
  for n in "${names[@]}"; do
    cmp -s "$s/pfx/$SUBDIR/$n" "$r/pfx/drive_c/recv/$n" || fail "batch $i: $n did not arrive whole"
    rm -f "$s/pfx/$SUBDIR/$n" "$r/pfx/drive_c/recv/$n"
  done
  files=$((files + 3)); seconds=$(awk -v a="$seconds" -v b="$t" 'BEGIN {print a+b}')
  if [ "$i" -eq 4 ] || [ $((i % 20)) -eq 0 ] || [ "$i" -eq "$batches" ]; then
    for m in A B; do
      d=$work/$m
      read -r ws h th <<< "$(machine_stats "$d")"
      echo "after batch $i: $m working set ${ws} KiB, $h descriptors, $th threads"
      if [ "$i" -eq 4 ]; then
        base[$m]="$ws $h $th"
      elif [ "$i" -eq "$batches" ] && [ -n "${base[$m]:-}" ]; then
        read -r ws0 h0 th0 <<< "${base[$m]}"
        [ $((ws - ws0)) -le 8192 ] || fail "$m's working set grew from $ws0 to $ws KiB"
        [ $((h - h0)) -le 4 ] || fail "$m's descriptors grew from $h0 to $h"
        [ $((th - th0)) -le 1 ] || fail "$m's threads grew from $th0 to $th"
      fi
    done
  fi
done
echo "$batches batches, $files files arrived whole, $seconds s of sending"
echo "PASS: turns over $link"
