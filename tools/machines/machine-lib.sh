# Simulated machines for the end-to-end tests: sourced by tools/machines/e2e-scenario.sh.
#
# A machine is a folder holding a Wine prefix of its own (its registry, its C: drive, its
# wineserver and so its desktop), a virtual display of its own, and optionally a network
# namespace. Every Wine program of a machine runs inside that namespace, because Wine creates a
# program's sockets in the prefix's wineserver: the wineserver must live where the program
# should be on the network.
#
#   machine_create DIR [NETNS]       copy the prepared test prefix; NETNS must already exist
#   machine_reg DIR KEY LINE...      add registry values under HKLM\KEY (lines in .reg syntax)
#   machine_start DIR WxH            start the display and the wineserver
#   machine_wine DIR ARGS...         run a Windows program on the machine and wait for it
#   machine_talmox DIR [ARGS]        start Talmox in the background (a second start hands over)
#   machine_drive DIR ARGS...        run the driver (tools/machines/driver.cpp) on the machine
#   box_text                         the message of a box, from the driver's print of it
#   machine_summary DIR              the Send List's summary line on the machine
#   machine_await_count DIR N        wait for N files on its Send List (1 when they never show)
#   machine_rows DIR ID              the names in list view ID of its main window, top row first
#   machine_shot DIR FILE [CAPTION]  screenshot of the display, cut to the window if given
#   machine_windows DIR              the captions of the windows the machine shows
#   machine_pids DIR PATTERN         the Linux processes of the machine whose command matches
#   machine_stats DIR                "working-set-KiB descriptors threads" of the machine's Talmox
#   machine_setup DIR NETNS TYPE [COM1 [WxH [LINE...]]]  create and start a machine for batches
#   machine_hand_files M WINDIR FILE...  put the files on M's Send List (first or second start)
#   pair_up LINK A B NSA NSB WORK    two machines running Talmox on a LAN or serial link
#   pair_names NAME LINK, pair_start LINK, pair_stop   the same for a script's run, by name
#   pair_fail REASON...              end such a run as failed, with pictures of both screens
#   pair_down A B NSA NSB WORK       stop them and remove the link
#   relay_cable WORK RELAY-ARGS...   a serial cable through serial-relay.py: WORK/ttyA, WORK/ttyB
#   relay_cable_down WORK            stop the relay and its two pseudo-terminal pairs
#   machine_batch S R WINDIR FILE... one batch from S to R, the seconds it took printed, and the
#                                    seconds to the link standing in S/last_connect
#   machine_destroy DIR              stop everything the machine runs and delete its prefix
#   skip_case REASON...              end a run this machine cannot make: 77, or 1 under CI
# Needs E2E_BUILD (the build folder with talmox.exe, e2edriver.exe and the test prefix).

# A run this machine cannot make: its reason, then exit 77, which ctest counts as skipped. Under
# CI (TALMOX_CI set by .ci/run) the exit is 1, so that a green run never hides a case it skipped.
skip_case() {
  echo "SKIPPED: $*"
  [ -z "${TALMOX_CI:-}" ] || { echo "CI runs every case: this skip fails the run"; exit 1; }
  exit 77
}

machine_netns() { cat "$1/netns" 2>/dev/null; }

# Runs a Linux command inside the machine's namespace, with the machine's Wine environment.
machine_exec() {
  local dir=$1; shift
  local ns; ns=$(machine_netns "$dir")
  local envs=(WINEPREFIX="$dir/pfx" WINEDEBUG=-all,err+module,err+seh WINEDLLOVERRIDES="mscoree,mshtml="
              DISPLAY=":$(cat "$dir/display" 2>/dev/null)")
  # The 32-bit suite (tools/test/test-i686.sh) runs Wine 10 in the Debian 13 root; the display, the
  # screenshots and the rest stay on the host.
  local a inroot=
  if [ -n "${TALMOX_WINE32ROOT:-}" ]; then
    for a in "$@"; do
      case $a in wine|wineboot|wineserver) inroot=1; break ;; esac
    done
  fi
  if [ -n "$inroot" ]; then
    "$(dirname "${BASH_SOURCE[0]}")/../test/wine32-root.sh" run "$TALMOX_WINE32ROOT" ${ns:+--netns "$ns"} \
      -- env "${envs[@]}" "$@"
  elif [ -n "$ns" ]; then
    ip netns exec "$ns" env "${envs[@]}" "$@"
  else
    env "${envs[@]}" "$@"
  fi
}

# The prepared prefix is made once per build folder, the way the unit tests make theirs.
machine_prepare_prefix() {
  [ -f "$E2E_BUILD/wineprefix/.talmox-ready" ] && return 0
  TALMOX_BUILD=$E2E_BUILD "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" cmd /c exit >/dev/null 2>&1
  [ -f "$E2E_BUILD/wineprefix/.talmox-ready" ]
}

machine_create() {
  local dir=$1 ns=${2:-}
  rm -rf "$dir"; mkdir -p "$dir"
  machine_prepare_prefix || { echo "cannot prepare the Wine prefix"; return 1; }
  # A copy of a prefix whose wineserver is running may hold a half-written registry; the
  # prepared prefix is only read here, and its registry was saved when it was made.
  cp -a "$E2E_BUILD/wineprefix" "$dir/pfx" || return 1
  rm -f "$dir/pfx/.talmox-ready"
  echo "$ns" > "$dir/netns"
  # No window manager runs on these displays. A managed window makes Wine wait about two
  # seconds for one whenever the window is hidden, which would put seconds of nothing
  # between the dialogs of every batch; unmanaged windows go at once.
  printf '\n[Software\\\\Wine\\\\X11 Driver] 1796552658\n"Managed"="N"\n' >> "$dir/pfx/user.reg"
  mkdir -p "$dir/pfx/drive_c/talmox" "$dir/pfx/drive_c/send" "$dir/pfx/drive_c/recv"
  cp "$E2E_BUILD/talmox.exe" "$dir/pfx/drive_c/talmox/"
  cp "$E2E_BUILD/e2edriver.exe" "$dir/pfx/drive_c/talmox/"
}

# Appends a key to the prefix's machine registry before its wineserver starts; the server
# merges a key that appears twice. Backslashes in KEY and in the values are given doubled.
# The program's own keys go where the program reads them: a 32-bit program (the 32-bit suite)
# sees the 32-bit view of HKLM\Software.
machine_reg() {
  local dir=$1 key=$2; shift 2
  [ -n "${TALMOX_WINE32ROOT:-}" ] && key=${key/#'Software\\Varndel'/'Software\\Wow6432Node\\Varndel'}
  { printf '\n[%s] 1796552658\n' "$key"; printf '%s\n' "$@"; } >> "$dir/pfx/system.reg"
}

machine_start() {
  local dir=$1 size=$2
  # -displayfd lets the server take the first free display number, so tests never collide.
  # The server writes its own pid: $! would name the subshell of the function, not Xvfb.
  machine_exec "$dir" sh -c 'echo $$ > "$1"; exec Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp' \
    sh "$dir/xvfb.pid" "${size}x24" 3>"$dir/display.fd" </dev/null >"$dir/xvfb.log" 2>&1 &
  local i
  for i in $(seq 100); do [ -s "$dir/display.fd" ] && break; sleep 0.05; done
  [ -s "$dir/display.fd" ] || { echo "Xvfb did not start"; return 1; }
  tr -d '\n' < "$dir/display.fd" > "$dir/display"
  machine_exec "$dir" wineserver -p || return 1
}

machine_wine() {
  local dir=$1; shift
  machine_exec "$dir" wine "$@"
}

machine_talmox() {
  local dir=$1; shift
  machine_exec "$dir" wine 'C:\talmox\talmox.exe' "$@" </dev/null >>"$dir/talmox.log" 2>&1 &
}

machine_drive() {
  local dir=$1; shift
  machine_exec "$dir" wine 'C:\talmox\e2edriver.exe' "$@" 2>>"$dir/driver.err" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

box_text() { awk -F'\t' 'tolower($2)=="static" && $3!="" {print $3; exit}'; }
machine_summary() { machine_drive "$1" main 0 | awk -F'\t' '$1=="1001" {print $3; exit}'; }
machine_rows() { machine_drive "$1" list "$2" | awk -F'\t' '$1=="row" {print $2}'; }

# Prints the summary last read, at once when it counts N files or after 10 s.
machine_await_count() {
  local got
  for _ in $(seq 40); do
    got=$(machine_summary "$1")
    case $got in "Files: $2 "*) echo "$got"; return 0 ;; esac
    sleep 0.25
  done
  echo "$got"
  return 1
}

machine_shot() {
  local dir=$1 file=$2 caption=${3:-} disp
  disp=":$(cat "$dir/display")"
  mkdir -p "$(dirname "$file")"
  # Inside a namespace the display number is the namespace's own (its X socket is abstract),
  # so the picture is taken from inside the machine's namespace. A dialog is taken from its
  # own X window: without a window manager, Wine's dialogs read as black in the root window.
  if [ -n "$caption" ] && [ "$caption" != TALMOX ]; then
    machine_exec "$dir" xwd -silent -name "$caption" -display "$disp" | convert xwd:- "$file"
    return
  fi
  local crop=() geometry=""
  [ -n "$caption" ] && geometry=$(machine_drive "$dir" wait "$caption" 0 | awk -F'\t' '$1=="rect" {print $2}')
  [ -n "$geometry" ] && crop=(-crop "$geometry" +repage)
  machine_exec "$dir" xwd -root -silent -display "$disp" | convert xwd:- "${crop[@]}" "$file"
}

# The captions of the windows shown on the machine's display, for a failure's report.
machine_windows() {
  machine_exec "$1" xwininfo -root -children -display ":$(cat "$1/display")" 2>/dev/null |
    awk -F'"' '/talmox.exe|e2edriver/ && $2 !~ /^(|Default IME|talmox.exe|e2edriver.exe)$/ {
                 printf "\"%s\" ", $2 }'
}

machine_destroy() {
  local dir=$1
  [ -d "$dir/pfx" ] || return 0
  [ -s "$dir/display" ] && machine_exec "$dir" wineserver -k 2>/dev/null
  [ -f "$dir/xvfb.pid" ] && kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
  rm -f "$dir/xvfb.pid"
  rm -rf "$dir/pfx"
}

# The Linux processes of a machine's Talmox and wineserver: pgrep sees every namespace, so
# they are told apart by the prefix in their environment.
machine_pids() {
  local dir=$1 pattern=$2 p
  for p in $(pgrep -f "$pattern"); do
    { tr '\0' '\n' < "/proc/$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$dir/pfx" && echo "$p"
  done
}

# "working-set-KiB descriptors threads" of a machine's Talmox, seen from outside. Wine does not
# count another process's handles, so the file descriptors of its Linux process stand in for
# them: every file, socket, port and event the program leaves open holds one there.
# The driver finds the process by its main window, which a moment of a busy wineserver can hide
# from it: it is asked again before the sample is given up ("- - -").
machine_stats() {
  local pid fds out
  pid=$(machine_pids "$1" 'talmox\.exe' | head -1)
  fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
  for _ in $(seq 10); do
    out=$(machine_drive "$1" stats) && break
    sleep 0.5
  done
  awk -F'\t' -v fds="$fds" '{v[$1]=$2} END {
    if (v["workingset_kib"] == "") print "- - -"; else print v["workingset_kib"], fds, v["threads"] }' <<< "$out"
}

# A machine made and started with Talmox's settings: communication TYPE, COM1 on a device if
# given, file pane C:\send, destination C:\recv; results shown, so that each batch ends in a
# box; no overwriting, so whoever runs batches removes what arrived before the next. A display
# of WxH (800x600); further settings, in .reg lines, after these, which they override.
machine_setup() {
  local dir=$1 ns=$2 type=$3 com1=${4:-} size=${5:-800x600}
  shift $(($# < 5 ? $# : 5))
  machine_create "$dir" "$ns" || return 1
  [ -n "$com1" ] && machine_reg "$dir" 'Software\\Wine\\Ports' "\"COM1\"=\"$com1\""
  machine_reg "$dir" 'Software\\Varndel\\Talmox' "\"CommType\"=dword:0000000$type" \
    '"Preferences"=dword:00000008' '"DestDir"="C:\\recv"' '"CurDir"="C:\\send"' "$@"
  machine_start "$dir" "$size"
}

# Puts the files of folder WINDIR on machine M's Send List: on the command line of the first
# start, or of a second start that hands them to the running copy. Each path reaches the
# program whole when WINDIR holds a space, since Wine then quotes it.
machine_hand_files() {
  local m=$1 windir=$2; shift 2
  local args=() f
  for f in "$@"; do args+=("$windir\\$f"); done
  if machine_drive "$m" main 100 >/dev/null; then
    machine_exec "$m" timeout 60 wine 'C:\talmox\talmox.exe' "${args[@]}" >/dev/null 2>&1
  else
    machine_talmox "$m" "${args[@]}"
    machine_drive "$m" main 30000 >/dev/null || { echo >&2 "no main window"; return 1; }
  fi
}

# Machines A and B, both running Talmox, joined by LINK: lan (namespaces NSA and NSB on a veth
# pair, type "LAN") or serial (a socat pseudo-terminal pair in WORK, COM1 on both); A's
# registry takes the setting lines in PAIR_REG_A besides. Returns 77
# when namespaces cannot be made here, 1 when a machine cannot be made. pair_down undoes it.
pair_up() {
  local link=$1 a=$2 b=$3 nsA=$4 nsB=$5 work=$6
  case $link in
    lan)
      lan_up "$nsA" "$nsB" "p$$" 2>/dev/null || return 77
      machine_setup "$a" "$nsA" 5 "" 800x600 ${PAIR_REG_A:-} && machine_setup "$b" "$nsB" 5 || return 1 ;;
    serial)
      pty_pair "$work"
      machine_setup "$a" "" 2 "$(readlink -f "$work/ttyA")" 800x600 ${PAIR_REG_A:-} &&
        machine_setup "$b" "" 2 "$(readlink -f "$work/ttyB")" || return 1 ;;
    *) return 1 ;;
  esac
  machine_talmox "$a"; machine_talmox "$b"
  machine_drive "$a" main 30000 >/dev/null && machine_drive "$b" main 30000 >/dev/null
}

# A socat pseudo-terminal pair, WORK/ttyA and WORK/ttyB, for a serial cable between two
# machines; its process id in WORK/socat.pid.
pty_pair() {
  setsid socat pty,raw,echo=0,link="$1/ttyA" pty,raw,echo=0,link="$1/ttyB" </dev/null >/dev/null 2>&1 &
  echo $! > "$1/socat.pid"
  for _ in $(seq 50); do [ -e "$1/ttyA" ] && [ -e "$1/ttyB" ] && break; sleep 0.1; done
}

# A serial cable through the line-true relay (serial-relay.py, given RELAY-ARGS: its rate and
# any damage): two socat pseudo-terminal pairs, whose outer ends WORK/ttyA and WORK/ttyB are
# the machines' COM1, and the relay between the inner ends. Its process id is in
# WORK/relay.pid; the pairs' are in WORK/cable.pids.
relay_cable() {
  local work=$1 side; shift
  for side in A B; do
    setsid socat pty,raw,echo=0,link="$work/tty$side" pty,raw,echo=0,link="$work/relay$side" \
      </dev/null >/dev/null 2>&1 &
    echo $! >> "$work/cable.pids"
  done
  for _ in $(seq 50); do [ -e "$work/relayA" ] && [ -e "$work/relayB" ] && break; sleep 0.1; done
  python3 "$(dirname "${BASH_SOURCE[0]}")/serial-relay.py" "$@" \
    "$(readlink -f "$work/relayA")" "$(readlink -f "$work/relayB")" >"$work/relay.log" 2>&1 &
  echo $! > "$work/relay.pid"
}
relay_cable_down() {
  kill $(cat "$1/relay.pid" "$1/cable.pids" 2>/dev/null) 2>/dev/null
  rm -f "$1/relay.pid" "$1/cable.pids"
}

pair_down() {
  local a=$1 b=$2 nsA=$3 nsB=$4 work=$5
  machine_destroy "$a"; machine_destroy "$b"
  [ -f "$work/socat.pid" ] && kill "$(cat "$work/socat.pid")" 2>/dev/null
  rm -f "$work/socat.pid"
  lan_down "$nsA" "$nsB"
}

# A run of a script on two machines named NAME, over LINK: pair_names sets work, A, B, nsA and
# nsB; pair_start makes the pair in an empty WORK, skipping where namespaces cannot be made
# and through pair_fail when the machines cannot be; pair_stop undoes it.
pair_names() {
  work=$E2E_BUILD/e2e/$1-$2
  A=$work/A B=$work/B
  nsA=$1$$-a nsB=$1$$-b
}

pair_start() {
  rm -rf "$work"; mkdir -p "$work"
  pair_up "$1" "$A" "$B" "$nsA" "$nsB" "$work"
  case $? in
    0) ;;
    77) skip_case "no network namespaces here" ;;
    *) pair_fail "cannot make the machines, or a main window did not appear" ;;
  esac
}

pair_stop() { pair_down "$A" "$B" "$nsA" "$nsB" "$work"; }

# A failed run's last word: the reason, and pictures of both screens and of a status dialog
# still up on either, in WORK.
pair_fail() {
  echo "FAIL: $*"
  local m
  for m in A B; do
    machine_shot "$work/$m" "$work/$m-screen.png" 2>/dev/null
    machine_shot "$work/$m" "$work/$m-status.png" "File Xfer Status" 2>/dev/null
    echo "  windows on $m: $(machine_windows "$work/$m")"
  done
  echo "  pictures of the screens: $work/*-screen.png"
  exit 1
}

# One batch from machine S to machine R: the files of folder WINDIR on S's command line (S not
# yet running Talmox: the first start; running: a second start hands them over), Send pressed,
# and the seconds from the press to S's result box printed. R's box is answered too. Both
# machines must show results (the "Preferences" bit).
machine_batch() {
  local s=$1 r=$2 windir=$3; shift 3
  machine_hand_files "$s" "$windir" "$@" || return 1
  local got
  got=$(machine_await_count "$s" $#) || { echo >&2 "the Send List reads \"$got\", not $# files"; return 1; }
  local ms=${BATCH_WAIT_MS:-600000}
  machine_drive "$r" box "Receive File(s)" "$ms" >/dev/null &
  local waitR=$! out
  # Send is pressed and its result box awaited by one run of the driver, which times the two.
  # The status dialog comes up once the link stands: its first sight is the connect's time,
  # kept in S's folder as last_connect.
  if ! out=$(machine_drive "$s" timed 40017 "Send File(s)" "$ms" "File Xfer Status"); then
    kill $waitR 2>/dev/null
    echo >&2 "no result box within $ms ms: $out"
    return 1
  fi
  wait $waitR
  grep -q "$# of $# files sent successfully" <<< "$out" || { echo >&2 "batch failed: $out"; return 1; }
  awk -F'\t' '$1=="mark" {print $2}' <<< "$out" > "$s/last_connect"
  awk -F'\t' '$1=="elapsed" {print $2}' <<< "$out"
}

# A LAN: two namespaces joined by a veth pair, 10.99.0.1 and 10.99.0.2. The default route makes
# the limited broadcast 255.255.255.255 leave through the veth.
lan_up() {
  local nsA=$1 nsB=$2 tag=$3
  ip netns add "$nsA" 2>/dev/null || return 1
  ip netns add "$nsB" || return 1
  ip link add "v${tag}a" type veth peer name "v${tag}b" || return 1
  ip link set "v${tag}a" netns "$nsA" && ip link set "v${tag}b" netns "$nsB" || return 1
  ip -n "$nsA" addr add 10.99.0.1/24 dev "v${tag}a"
  ip -n "$nsB" addr add 10.99.0.2/24 dev "v${tag}b"
  local n
  for n in "$nsA" "$nsB"; do ip -n "$n" link set lo up; done
  ip -n "$nsA" link set "v${tag}a" up && ip -n "$nsB" link set "v${tag}b" up || return 1
  ip -n "$nsA" route add default dev "v${tag}a" && ip -n "$nsB" route add default dev "v${tag}b"
}

# Deleting a namespace deletes the veth end inside it, and with it the pair.
lan_down() {
  local ns
  for ns in "$@"; do ip netns del "$ns" 2>/dev/null; done
  return 0
}
