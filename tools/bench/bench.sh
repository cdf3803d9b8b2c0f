#!/usr/bin/env bash
# The benchmark: Talmox beside raw TCP (socat) and ZMODEM (lrzsz) on the same simulated links,
# the CRC beside memcpy, the file pane's listing, idle CPU and the receiver's peak memory.
#   bench.sh BUILD      (BUILD: the 64-bit build folder, which holds talmox.exe and the bench programs)
# Every figure is the median of BENCH_RUNS runs (3). Prints one table; never fails the suite.
# Sizes can be changed: BENCH_LAN_MIB (256), BENCH_SERIAL_KIB (512), BENCH_BIG_GIB (3, 0 skips);
# BENCH_SECTIONS picks some of "local lan serial".
set -u
E2E_BUILD=$(cd "$1" && pwd)
export E2E_BUILD
here=$(cd "$(dirname "$0")/../machines" && pwd)
. "$here/machine-lib.sh"

RUNS=${BENCH_RUNS:-3}
LAN_MIB=${BENCH_LAN_MIB:-256}
SERIAL_KIB=${BENCH_SERIAL_KIB:-512}
BIG_GIB=${BENCH_BIG_GIB:-3}
LINE_BPS=11520                          # 115200 baud, 8N1: ten bit times a byte
work=$E2E_BUILD/bench
A=$work/A B=$work/B C=$work/C D=$work/D L=$work/L
# Names of this run's own, so that two runs on one machine never share a namespace.
nsA=bench$$-a nsB=bench$$-b
# A folder whose name holds a space: Wine then quotes each path it puts on the command line,
# which is how several paths reach the program in one start.
SEND_WIN='C:\bench files' SEND_SUB='drive_c/bench files'

declare -A fig=()

cleanup() {
  local m
  for m in "$A" "$B" "$C" "$D" "$L"; do machine_destroy "$m"; done
  relay_cable_down "$work"
  lan_down "$nsA" "$nsB"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

note() { echo "$*" >&2; }
now() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]; else print "n/a"}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b+0 > 0 && a+0 > 0) printf "%.2f", a/b; else print "n/a"}'; }
mbps() { awk -v n="$1" -v t="$2" 'BEGIN {if (t+0 > 0) printf "%.1f", n/1e6/t; else print "n/a"}'; }

# Installs lrzsz, which only the benchmark needs.
need_lrzsz() {
  command -v sz >/dev/null && return 0
  [ "$(id -u)" = 0 ] || { note "lrzsz is missing (apt-get install lrzsz): no ZMODEM figures"; return 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lrzsz >/dev/null 2>&1 ||
    { apt-get update -qq >/dev/null 2>&1; DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lrzsz >/dev/null 2>&1; }
  command -v sz >/dev/null
}

# Seconds of a byte-for-byte copy by socat over the LAN, from A's namespace to B's.
raw_tcp_once() {
  local src=$1 dst=$2 t0 t1
  rm -f "$dst"
  ip netns exec "$nsB" socat -u tcp-listen:9001,reuseaddr open:"$dst",creat,trunc &
  local lp=$!
  sleep 0.3
  t0=$(now)
  ip netns exec "$nsA" socat -u open:"$src" tcp:10.99.0.2:9001
  wait $lp
  t1=$(now)
  cmp -s "$src" "$dst" || { note "socat copy differs"; return 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f\n", b-a}'
}

# Seconds of a ZMODEM batch (sz to rz) joined through socat over the LAN.
zmodem_lan_once() {
  local srcdir=$1 dstdir=$2; shift 2
  rm -rf "$dstdir"; mkdir -p "$dstdir"
  (cd "$dstdir" && exec ip netns exec "$nsB" socat tcp-listen:9002,reuseaddr exec:'rz -y -q -b') &
  local lp=$! t0 t1
  # The names go in a script: socat takes an address of a few hundred bytes at most.
  printf 'exec sz -q -b' > "$work/sz-batch"; printf ' %q' "$@" >> "$work/sz-batch"
  sleep 0.3
  t0=$(now)
  (cd "$srcdir" && ip netns exec "$nsA" socat exec:"sh $work/sz-batch" tcp:10.99.0.2:9002) ||
    kill $lp 2>/dev/null
  wait $lp
  t1=$(now)
  local f
  for f in "$@"; do cmp -s "$srcdir/$f" "$dstdir/$f" || { note "zmodem copy of $f differs"; return 1; }; done
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f\n", b-a}'
}

lan_section() {
  note "== LAN: $LAN_MIB MiB, Talmox vs socat vs ZMODEM"
  lan_down "$nsA" "$nsB"
  lan_up "$nsA" "$nsB" "b$$" || { note "no network namespaces here: no LAN figures"; return 1; }
  machine_setup "$A" "$nsA" 5 && machine_setup "$B" "$nsB" 5 || { note "machines failed"; return 1; }
  local send="$A/pfx/$SEND_SUB" small=(s1.bin s2.bin s3.bin) f
  mkdir -p "$send"
  local bytes=$((LAN_MIB * 1048576)) i t
  head -c $((bytes - 3 * 4096)) /dev/urandom > "$send/big.bin"
  for f in "${small[@]}"; do head -c 4096 /dev/urandom > "$send/$f"; done
  machine_talmox "$B"
  machine_drive "$B" main 30000 >/dev/null
  local tt=() ts=() tz=() tp=()
  for i in $(seq "$RUNS"); do
    # The transfer inside the program: from the status dialog's first sight to the result box.
    t=$(machine_batch "$A" "$B" "$SEND_WIN" big.bin "${small[@]}") && tt+=("$t") &&
      tp+=("$(awk -v t="$t" -v c="$(cat "$A/last_connect")" 'BEGIN {printf "%.3f", t-c}')")
    cmp -s "$send/big.bin" "$B/pfx/drive_c/recv/big.bin" || note "Talmox copy of big.bin differs"
    rm -f "$B"/pfx/drive_c/recv/*
    note "talmox run $i: ${t}s"
  done
  for i in $(seq "$RUNS"); do
    t=$(raw_tcp_once "$send/big.bin" "$work/tcp.out") && ts+=("$t"); note "socat run $i: ${t}s"
  done
  rm -f "$work/tcp.out"
  if need_lrzsz; then
    for i in $(seq "$RUNS"); do
      t=$(zmodem_lan_once "$send" "$work/zrecv" big.bin "${small[@]}") && tz+=("$t"); note "zmodem run $i: ${t}s"
    done
    rm -rf "$work/zrecv"
  fi
  # The same file by the program's own sender and receiver without windows, on the same veth:
  # the transfer alone, without the discovery and the pauses of a batch around it.
  local tx=() out
  for i in $(seq "$RUNS"); do
    rm -rf "$B/pfx/drive_c/xfer"; mkdir -p "$B/pfx/drive_c/xfer"
    machine_wine "$B" "$E2E_BUILD/bench_xfer.exe" recv 'C:\xfer' >/dev/null 2>&1 &
    local rp=$!
    sleep 2
    out=$(machine_wine "$A" "$E2E_BUILD/bench_xfer.exe" send 10.99.0.2 "$SEND_WIN\\big.bin" 2>/dev/null | tr -d '\r')
    wait $rp
    cmp -s "$send/big.bin" "$B/pfx/drive_c/xfer/big.bin" || note "bench_xfer copy of big.bin differs"
    t=$(awk '$1=="xfer_mbps" {print $2}' <<< "$out"); [ -n "$t" ] && tx+=("$t")
    note "transfer alone run $i: ${t:-failed} MB/s"
  done
  rm -rf "$B/pfx/drive_c/xfer"
  # The floor: the bare block exchange (32 KiB behind its header, then the 8-byte reply) between
  # the same two prefixes on the same veth, with nothing of the program's around it.
  local tf=()
  for i in $(seq "$RUNS"); do
    machine_wine "$B" "$E2E_BUILD/bench_sockpipe.exe" rcvtimeo "$LAN_MIB" listen >/dev/null 2>&1 &
    local fp=$!
    sleep 2
    out=$(machine_wine "$A" "$E2E_BUILD/bench_sockpipe.exe" rcvtimeo "$LAN_MIB" connect 10.99.0.2 \
          2>/dev/null | tr -d '\r')
    wait $fp
    t=$(grep -o '[0-9.]* MB/s' <<< "$out" | awk '{print $1}'); [ -n "$t" ] && tf+=("$t")
    note "bare block exchange run $i: ${t:-failed} MB/s"
  done
  fig[lan_floor]=$(printf '%s\n' "${tf[@]:-}" | median)
  fig[lan_xfer]=$(printf '%s\n' "${tx[@]:-}" | median)
  fig[lan_inprog]=$(mbps $bytes "$(printf '%s\n' "${tp[@]:-}" | median)")
  fig[lan_talmox]=$(mbps $bytes "$(printf '%s\n' "${tt[@]}" | median)")
  fig[lan_socat]=$(mbps $bytes "$(printf '%s\n' "${ts[@]}" | median)")
  fig[lan_zmodem]=$(mbps $bytes "$(printf '%s\n' "${tz[@]:-}" | median)")

  note "== LAN: 99 files of 1 KiB"
  local names=() ty=() tc=()
  for i in $(seq -w 1 99); do head -c 1024 /dev/urandom > "$send/f$i.bin"; names+=("f$i.bin"); done
  for i in $(seq "$RUNS"); do
    t=$(machine_batch "$A" "$B" "$SEND_WIN" "${names[@]}") && ty+=("$t") && tc+=("$(cat "$A/last_connect")")
    note "small run $i: ${t}s, connected after ${tc[-1]:-?}s"
    rm -f "$B"/pfx/drive_c/recv/*
  done
  fig[small_talmox]=$(printf '%s\n' "${ty[@]:-}" | median)
  fig[connect]=$(printf '%s\n' "${tc[@]:-}" | median)
  if need_lrzsz; then
    local tzs=()
    for i in $(seq "$RUNS"); do
      t=$(zmodem_lan_once "$send" "$work/zrecv" "${names[@]}") && tzs+=("$t"); note "zmodem small run $i: ${t}s"
    done
    rm -rf "$work/zrecv"
    fig[small_zmodem]=$(printf '%s\n' "${tzs[@]:-}" | median)
  fi
  rm -f "$send"/f*.bin

  if [ "$BIG_GIB" -gt 0 ]; then
    note "== LAN: peak memory of the receiver during a $BIG_GIB GiB file"
    rm -f "$send"/*.bin
    truncate -s $((BIG_GIB * 1073741824)) "$send/huge.bin"
    local pid; pid=$(machine_pids "$B" 'talmox\.exe' | head -1)
    # The kernel's high-water mark of resident memory is what Windows calls the peak working
    # set; it is reset here so that the figure belongs to this transfer alone.
    [ -n "$pid" ] && echo 5 > "/proc/$pid/clear_refs" 2>/dev/null
    t=$(machine_batch "$A" "$B" "$SEND_WIN" huge.bin) || t=""
    local hwm=""
    [ -n "$pid" ] && hwm=$(awk '/VmHWM/ {printf "%.0f", $2/1024}' "/proc/$pid/status")
    fig[big_rss]=${hwm:-n/a}
    fig[big_ok]=no
    [ -n "$t" ] && [ "$(stat -c %s "$B/pfx/drive_c/recv/huge.bin" 2>/dev/null)" = $((BIG_GIB * 1073741824)) ] &&
      fig[big_ok]=yes
    fig[big_mbps]=$(mbps $((BIG_GIB * 1073741824)) "${t:-0}")
    rm -f "$send/huge.bin" "$B/pfx/drive_c/recv/huge.bin"
  fi
}

# CPU per cent of one core that a copy of Talmox (and its machine's wineserver) used in 30 s.
idle_cpu() {
  local dir=$1 pids t0 t1 hz p
  hz=$(getconf CLK_TCK)
  pids=$(machine_pids "$dir" 'talmox\.exe|wineserver')
  ticks() { local s=0; for p in $pids; do s=$((s + $(awk '{print $14+$15}' "/proc/$p/stat"))); done; echo $s; }
  t0=$(ticks); sleep 30; t1=$(ticks)
  awk -v d=$((t1 - t0)) -v hz="$hz" 'BEGIN {printf "%.2f", 100*d/hz/30}'
}

# Two pseudo-terminal pairs joined by the line-rate relay: C's COM1 at one end, D's at the other.
serial_section() {
  note "== Serial: $SERIAL_KIB KiB through a 115200-baud relay"
  relay_cable "$work" --baud 115200
  machine_setup "$C" "" 2 "$(readlink -f "$work/ttyA")" &&
    machine_setup "$D" "" 2 "$(readlink -f "$work/ttyB")" || return 1
  local bytes=$((SERIAL_KIB * 1024)) i t tt=() tz=()
  head -c "$bytes" /dev/urandom > "$work/ser.bin"
  mkdir -p "$C/pfx/$SEND_SUB"; cp "$work/ser.bin" "$C/pfx/$SEND_SUB/ser.bin"
  machine_talmox "$D"; machine_drive "$D" main 30000 >/dev/null
  for i in $(seq "$RUNS"); do
    t=$(machine_batch "$C" "$D" "$SEND_WIN" ser.bin) && tt+=("$t"); note "talmox run $i: ${t}s"
    cmp -s "$work/ser.bin" "$D/pfx/drive_c/recv/ser.bin" || note "serial copy differs"
    rm -f "$D"/pfx/drive_c/recv/*
  done
  fig[ser_talmox]=$(awk -v n=$bytes -v t="$(printf '%s\n' "${tt[@]:-}" | median)" -v l=$LINE_BPS \
    'BEGIN {if (t+0 > 0) printf "%.1f", 100*n/t/l; else print "n/a"}')

  note "== Idle: 30 s in answer mode (LAN copy B and serial copy D at once)"
  if [ -d "$B/pfx" ]; then
    idle_cpu "$B" > "$work/idle.lan" &
    local ip=$!
  fi
  fig[idle_serial]=$(idle_cpu "$D")
  [ -n "${ip:-}" ] && wait "$ip" && fig[idle_lan]=$(cat "$work/idle.lan")

  machine_destroy "$C"; machine_destroy "$D"
  if need_lrzsz; then
    local pa pb t0 t1
    pa=$(readlink -f "$work/ttyA"); pb=$(readlink -f "$work/ttyB")
    for i in $(seq "$RUNS"); do
      rm -rf "$work/zser"; mkdir -p "$work/zser"
      (cd "$work/zser" && exec rz -y -q -b < "$pb" > "$pb") &
      local rp=$!
      t0=$(now)
      (cd "$work" && sz -q -b ser.bin < "$pa" > "$pa")
      wait $rp
      t1=$(now)
      if cmp -s "$work/ser.bin" "$work/zser/ser.bin"; then
        t=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", b-a}'); tz+=("$t")
      else
        note "zmodem serial copy differs"; t=failed
      fi
      note "zmodem run $i: ${t}s"
    done
    rm -rf "$work/zser"
    fig[ser_zmodem]=$(awk -v n=$bytes -v t="$(printf '%s\n' "${tz[@]:-}" | median)" -v l=$LINE_BPS \
      'BEGIN {if (t+0 > 0) printf "%.1f", 100*n/t/l; else print "n/a"}')
  fi
}

local_section() {
  note "== CRC and listing"
  local out
  out=$(TALMOX_BUILD=$E2E_BUILD "$here/wine-run.sh" "$E2E_BUILD/bench_crc.exe" 2>/dev/null | tr -d '\r')
  fig[crc]=$(awk '$1=="crc_mbps" {print $2}' <<< "$out")
  fig[memcpy]=$(awk '$1=="memcpy_mbps" {print $2}' <<< "$out")
  # The listing needs a display: a machine of its own.
  machine_create "$L" "" && machine_start "$L" 800x600 || { note "no machine for the listing"; return 1; }
  mkdir -p "$L/pfx/drive_c/listing"
  (cd "$L/pfx/drive_c/listing" && seq -w 1 10000 | sed 's/$/.txt/' | xargs touch)
  cp "$E2E_BUILD/bench_listing.exe" "$L/pfx/drive_c/talmox/"
  out=$(machine_wine "$L" 'C:\talmox\bench_listing.exe' 'C:\listing' "$RUNS" 2>/dev/null | tr -d '\r')
  fig[listing]=$(awk '$1=="listing_ms" {print $2}' <<< "$out")
  machine_destroy "$L"
}

print_table() {
  local v=${fig[lan_talmox]:-n/a}
  printf '\nTalmox benchmark, %s, %s (%s cores), Wine %s; medians of %s runs\n' \
    "$(date -u +%Y-%m-%d)" "$(uname -m)" "$(nproc)" "$(wine --version 2>/dev/null)" "$RUNS"
  printf '| What | Talmox | Beside it | Ratio |\n|---|---|---|---|\n'
  printf '| LAN, %s MiB batch (MB/s) | %s | socat raw TCP %s | %s of raw TCP |\n' "$LAN_MIB" "$v" \
    "${fig[lan_socat]:-n/a}" "$(ratio "$v" "${fig[lan_socat]:-0}")"
  printf '| | | ZMODEM (lrzsz) %s | %s of ZMODEM |\n' "${fig[lan_zmodem]:-n/a}" \
    "$(ratio "$v" "${fig[lan_zmodem]:-0}")"
  printf '| LAN, %s MiB, the transfer alone: status dialog to result box (MB/s) | %s | | %s of raw TCP, %s of ZMODEM |\n' \
    "$LAN_MIB" "${fig[lan_inprog]:-n/a}" "$(ratio "${fig[lan_inprog]:-0}" "${fig[lan_socat]:-0}")" \
    "$(ratio "${fig[lan_inprog]:-0}" "${fig[lan_zmodem]:-0}")"
  printf '| LAN, %s MiB, sender and receiver without windows (MB/s) | %s | | |\n' \
    "$LAN_MIB" "${fig[lan_xfer]:-n/a}"
  printf '| LAN, the bare block exchange: the floor (MB/s) | | %s | transfer alone %s of it, without windows %s |\n' \
    "${fig[lan_floor]:-n/a}" "$(ratio "${fig[lan_inprog]:-0}" "${fig[lan_floor]:-0}")" \
    "$(ratio "${fig[lan_xfer]:-0}" "${fig[lan_floor]:-0}")"
  printf '| LAN, Send press to connected (ms) | %s | | |\n' \
    "$(awk -v t="${fig[connect]:-}" 'BEGIN {if (t != "" && t != "n/a") printf "%.0f", 1000*t; else print "n/a"}')"
  printf '| Serial 115200 baud, %s KiB (%% of line rate) | %s | ZMODEM %s | %s |\n' "$SERIAL_KIB" \
    "${fig[ser_talmox]:-n/a}" "${fig[ser_zmodem]:-n/a}" "$(ratio "${fig[ser_talmox]:-0}" "${fig[ser_zmodem]:-0}")"
  printf '| LAN, 99 files of 1 KiB (s per batch) | %s | ZMODEM %s | %s of ZMODEM'"'"'s time |\n' \
    "${fig[small_talmox]:-n/a}" "${fig[small_zmodem]:-n/a}" \
    "$(ratio "${fig[small_talmox]:-0}" "${fig[small_zmodem]:-0}")"
  printf '| CRC-32 over 256 MiB (MB/s) | %s | memcpy %s | %s of memcpy |\n' "${fig[crc]:-n/a}" \
    "${fig[memcpy]:-n/a}" "$(ratio "${fig[crc]:-0}" "${fig[memcpy]:-0}")"
  printf '| Listing 10,000 files (ms) | %s | | |\n' "${fig[listing]:-n/a}"
  printf '| Idle in answer mode, 30 s (%% of a core) | LAN %s, COM1 %s | | |\n' \
    "${fig[idle_lan]:-n/a}" "${fig[idle_serial]:-n/a}"
  printf '| Receiver peak working set, %s GiB file (MiB) | %s (arrived whole: %s, %s MB/s) | | |\n' \
    "$BIG_GIB" "${fig[big_rss]:-n/a}" "${fig[big_ok]:-n/a}" "${fig[big_mbps]:-n/a}"
}

rm -rf "$work"; mkdir -p "$work"
for section in ${BENCH_SECTIONS:-local lan serial}; do "${section}_section"; done
print_table
exit 0
