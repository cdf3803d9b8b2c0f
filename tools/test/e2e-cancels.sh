#!/usr/bin/env bash
# A cancel storm: batches from A to B cancelled at random moments, on A and on B in turn, each
# followed by a send of what was left on A's Send List, which must then succeed.
#   e2e-cancels.sh LINK CANCELS BUILD      LINK: serial or lan
# After every cancel: each file at B is whole and byte-identical or absent (nothing partial),
# A's Send List holds exactly the files that did not arrive, and the resend brings the rest.
# Seeded (CANCELS_SEED); prints where each cancel landed.
# Exits 0 when all held, 1 when not, 77 without network namespaces (1 under CI).
set -u
link=$1 cancels=$2
E2E_BUILD=$(cd "$3" && pwd)
export E2E_BUILD
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../machines/machine-lib.sh"

pair_names cancels "$link"
WINDIR='C:\cancel files' SUBDIR='drive_c/cancel files'
seed=${CANCELS_SEED:-$$}
RANDOM=$seed
trap pair_stop EXIT
trap 'exit 1' INT TERM
fail() { pair_fail "$@"; }

case $link in lan|serial) ;; *) echo "unknown link $link"; exit 2 ;; esac
pair_start "$link"
case $link in
  lan) big=$((96 * 1048576)) window=1400 ;;
  serial) big=$((512 * 1024)) window=4000 ;;
esac
src=$A/pfx/$SUBDIR recv=$B/pfx/drive_c/recv
mkdir -p "$src"
head -c "$big" /dev/urandom > "$work/big.src"
head -c 3000 /dev/urandom > "$work/small.src"
echo "seed $seed, $cancels cancels over $link"

files_left() { machine_summary "$A" | awk '{print $2}'; }

# Every file at B must be a whole copy of its source; what is whole is removed for the next round.
check_recv() {
  local f n
  for f in "$recv"/*; do
    [ -e "$f" ] || continue
    n=$(basename "$f")
    case $n in c*-big.bin) cmp -s "$f" "$work/big.src" ;; *) cmp -s "$f" "$work/small.src" ;; esac ||
      fail "after cancel $1: $n at B is partial or differs ($(stat -c %s "$f") bytes)"
  done
}

# A's Send List must hold exactly the files of batch I that did not arrive at B.
check_rows_left() {
  local i=$1 n want="" rows
  for n in "c$i-a.bin" "c$i-big.bin" "c$i-z.bin"; do [ -e "$recv/$n" ] || want+="$n "; done
  rows=$(machine_rows "$A" 5 | LC_ALL=C sort | tr '\n' ' ')
  [ "$rows" = "$want" ] || fail "after cancel $i A's Send List holds \"$rows\", but B lacks \"$want\""
}

declare -A landed=()
for i in $(seq "$cancels"); do
  if [ $((i % 2)) -eq 1 ]; then who=A; else who=B; fi
  # Two small files and a big one; the Send List sends the newest first.
  ln -f "$work/small.src" "$src/c$i-a.bin"; ln -f "$work/big.src" "$src/c$i-big.bin"
  ln -f "$work/small.src" "$src/c$i-z.bin"
  machine_hand_files "$A" "$WINDIR" "c$i-z.bin" "c$i-big.bin" "c$i-a.bin"
  got=$(machine_await_count "$A" 3) || fail "the Send List reads \"$got\" before cancel $i"
  delay=$((RANDOM % window))
  machine_drive "$A" post 40017 >/dev/null
  sleep "$(awk -v d=$delay 'BEGIN {print d/1000}')"
  where=$(machine_drive "$work/$who" click 'Connecting...|File Xfer Status' 2 2000 |
          awk -F'\t' '$1=="clicked" {print $2}')
  [ -n "$where" ] || where="nothing (the batch had ended)"
  landed[$where]=$(( ${landed[$where]:-0} + 1 ))
  # The result boxes, where the cancel left any; they are answered and their texts kept.
  ra=$(machine_drive "$A" box "Send File(s)" 15000 | box_text)
  rb=$(machine_drive "$B" box "Receive File(s)" 5000 | box_text)
  echo "cancel $i on $who after ${delay} ms at $where: A \"${ra:-no box}\", B \"${rb:-no box}\""
  check_recv "$i"
  check_rows_left "$i"
  rm -f "$recv"/*
  left=$(files_left)
  if [ "${left:-0}" -gt 0 ]; then
    machine_drive "$B" box "Receive File(s)" 120000 >/dev/null &
    wb=$!
    machine_drive "$A" post 40017 >/dev/null
    ra=$(machine_drive "$A" box "Send File(s)" 120000 | box_text)
    wait $wb
    [ "$ra" = "$left of $left files sent successfully" ] ||
      fail "the send after cancel $i said \"$ra\" for $left files"
    check_recv "$i"
    [ "$(ls "$recv" | wc -l)" -eq "$left" ] || fail "after the resend of $i, B holds $(ls "$recv" | wc -l) of $left files"
    rm -f "$recv"/*
  fi
  rm -f "$src"/c$i-*.bin
done
for w in "${!landed[@]}"; do echo "cancels at $w: ${landed[$w]}"; done
echo "PASS: $cancels cancels over $link, every resend whole"
