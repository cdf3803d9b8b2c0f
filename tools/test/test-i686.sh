#!/usr/bin/env bash
# Runs the suite on the 32-bit build, the program that is shipped, under Wine 10 in a Debian 13
# root (tools/test/wine32-root.sh; this kernel runs no 32-bit Linux programs, so the host's Wine
# cannot start it): the in-process test programs, then one two-copy run per link with the
# 32-bit program on both machines.
#   test-i686.sh [BUILD]      builds BUILD/i686t (the tests for i686) and the root when missing
# Where the root cannot be made the suite is skipped with its reason, and under .ci/run
# (TALMOX_CI=1) it fails.
set -u
cd "$(dirname "$0")/../.."
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
cmake -S . -B "$build/i686t" -DCMAKE_TOOLCHAIN_FILE=tools/build/toolchain-i686.cmake >/dev/null &&
  cmake --build "$build/i686t" -j"${JOBS:-2}" || exit 1

# Wine 10 runs 32-bit code through the kernel's 32-bit code segment. A kernel booted with IA-32
# emulation off (ia32_emulation=off, or built default-off) has none, and no 32-bit code runs on
# it at all, ours or any other: a 32-bit Linux program of three instructions tells, before the
# root is made. That is the machine, not the program, so it is reported and the suite left out,
# under CI as well; anything else that keeps the suite from running fails CI.
probe32=$(mktemp -d)
printf '.globl _start\n_start:\n mov $1, %%eax\n xor %%ebx, %%ebx\n int $0x80\n' > "$probe32/t.s"
as --32 "$probe32/t.s" -o "$probe32/t.o" && ld -m elf_i386 "$probe32/t.o" -o "$probe32/t" ||
  cannot "the 32-bit probe could not be built (binutils' as and ld)"
if ! "$probe32/t" 2>/dev/null; then
  rm -rf "$probe32"
  echo "32-bit suite not run: this kernel runs no 32-bit code (IA-32 emulation is off; it is" \
    "turned on at boot with ia32_emulation=on), so neither Wine nor any 32-bit program can run here"
  exit 0
fi
rm -rf "$probe32"
tools/test/wine32-root.sh ensure "$build" || cannot "the Debian 13 root with Wine 10 cannot be made"
t1=$(date +%s)

# Every Wine program of the suite starts in the root (tools/machines/wine-run.sh,
# tools/test/serial-pair.sh and machine-lib.sh look at this). The in-process programs run in a network namespace of their
# own, so their fixed ports never meet the 64-bit suite's.
export TALMOX_WINE32ROOT=$build
ns=talmox-w32-$$
ip netns add "$ns" && ip -n "$ns" link set lo up || cannot "no network namespace can be made"
trap 'ip netns del "$ns" 2>/dev/null' EXIT
# One program asked for its test list tells that Wine in the root runs 32-bit code (and makes
# the suite's Wine prefix, whose first start takes 20-30 s). Wine's console ends its lines
# with CR LF.
probe=$(TALMOX_BUILD=$build/i686t ip netns exec "$ns" tools/machines/wine-run.sh "$build/i686t/transfer.exe" --gtest_list_tests 2>&1 | tr -d '\r')
if ! grep -qE '^[A-Za-z_][A-Za-z0-9_/]*\.$' <<< "$probe"; then
  cannot "Wine 10 in the root could not run a 32-bit test program; Wine said:" \
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
