#!/usr/bin/env bash
# Counts the project's code lines: non-blank lines of .cpp, .h, .c, .rc, .py, .sh, .cmake and
# CMakeLists.txt under git. Tests are tests/ and tools/test/ (the scripts only tests use).
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  git ls-files -- "$@" | grep -E '\.(cpp|h|c|rc|py|sh|cmake)$|(^|/)CMakeLists\.txt$' |
    xargs -r cat | grep -c -v '^[[:space:]]*$' || true
}
all=$(count .)
tests=$(count tests tools/test)
echo "code lines: $all; tests (tests/, tools/test/): $tests, $((100 * tests / all))% of all"
