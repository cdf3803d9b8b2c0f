#!/usr/bin/env bash
# Runs the suite on the 32-bit build, the program that is shipped, under Wine 10 in a Debian 13
# root (tools/wine32-root.sh; this kernel runs no 32-bit Linux programs, so the host's Wine
# cannot start it): the in-process test programs, then one two-copy run per link with the
# 32-bit program on both machines.
#   test-i686.sh [BUILD]      builds BUILD/i686t (the tests for i686) and the root when missing
# Where the root cannot be made the suite is skipped with its reason, and under .ci/run
# (TALMOX_CI=1) it fails.
set -u
cd "$(dirname "$0")/.."
build=${1:-build}
mkdir -p "$build"
build=$(cd "$build" && pwd)
t0=$(date +%s)
cannot() {
  echo "32-bit suite not run: $*"
  [ -z "${TALMOX_CI:-}" ] || { echo "CI runs every case: the 32-bit suite must run"; exit 1; }
  exit 0
}

# The tests are built first: a fault that shows only in 32-bit code is often a compile error.
cmake -S . -B "$build/i686t" -DCMAKE_TOOLCHAIN_FILE=tools/toolchain-i686.cmake >/dev/null &&
  cmake --build "$build/i686t" -j"${JOBS:-2}" || exit 1
tools/wine32-root.sh ensure "$build" || cannot "the Debian 13 root with Wine 10 cannot be made"
t1=$(date +%s)

# Every Wine program of the suite starts in the root (tools/wine-run.sh, serial-pair.sh and
# machine-lib.sh look at this). The in-process programs run in a network namespace of their
# own, so their fixed ports never meet the 64-bit suite's.
export TALMOX_WINE32ROOT=$build
ns=talmox-w32-$$
ip netns add "$ns" && ip -n "$ns" link set lo up || cannot "no network namespace can be made"
trap 'ip netns del "$ns" 2>/dev/null' EXIT
# Wine 10 runs 32-bit code by switching the process to the kernel's 32-bit code segment, which
# a kernel without IA-32 emulation refuses: every 32-bit program then dies at once. One program
# asked for its test list tells (and makes the suite's Wine prefix, whose first start takes
# 20-30 s). Wine's console ends its lines with CR LF.
probe=$(TALMOX_BUILD=$build/i686t ip netns exec "$ns" tools/wine-run.sh "$build/i686t/transfer_socket.exe" --gtest_list_tests 2>&1 | tr -d '\r')
if ! grep -qE '^[A-Za-z_][A-Za-z0-9_/]*\.$' <<< "$probe"; then
  cannot "Wine 10 in the root could not run a 32-bit test program (a kernel without IA-32" \
    "emulation cannot; it is turned on at boot with ia32_emulation=true); Wine said:" \
    "$(tail -2 <<< "$probe" | tr '\n' ' ')"
fi
rc=0
(cd "$build/i686t" && ip netns exec "$ns" ctest --output-on-failure -E '^(e2e_|links_)') || rc=1
t2=$(date +%s)
# The two-copy runs and the install of the x86 package make namespaces and machines: one at a
# time on this machine.
(cd "$build/i686t" &&
  flock /tmp/talmox-e2e.lock ctest --output-on-failure -R '^e2e_((serial|lan)_send_three|install_x86)$') || rc=1
t3=$(date +%s)
echo "32-bit suite: build $((t1 - t0)) s, in-process programs $((t2 - t1)) s, two-copy runs $((t3 - t2)) s"
exit $rc
