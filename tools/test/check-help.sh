#!/usr/bin/env bash
# Checks the compiled help file through 7-Zip's reader of the format: it holds every page of the
# help folder, its contents and its index, and a window (#WINDOWS); and its system record names
# that contents, that index and the window, which the Help button asks the viewer to open at
# the index.
#   check-help.sh BUILD/talmox.chm help/
set -u
chm=$1 dir=$2
[ -f "$chm" ] || { echo "$chm was not built"; exit 1; }
z=$(command -v 7zz || command -v 7z) || { echo "no 7-Zip here to read $chm with"; exit 1; }
entries=$("$z" l -slt "$chm" | awk '/^Path = /{p = substr($0, 8)} /^Size = /{print p "\t" $3}')
pages=$(cd "$dir" && ls -- *.html)
bad=0
for name in $pages style.css talmox.hhc talmox.hhk '#WINDOWS'; do
  size=$(awk -F'\t' -v n="$name" '$1 == n {print $2}' <<< "$entries")
  [ -n "$size" ] || { echo "$name is not in $chm"; bad=1; continue; }
  [ "$size" -gt 0 ] || { echo "$name is empty in $chm"; bad=1; }
done
# The system record: a version, then records of a 16-bit code and a 16-bit length. Codes 0 and
# 1 name the contents and the index files, code 5 the window the viewer opens.
"$z" x -so "$chm" '#SYSTEM' | python3 -c '
import struct, sys
body, pos, records, bad = sys.stdin.buffer.read(), 4, {}, 0
while pos + 4 <= len(body):
    code, n = struct.unpack_from("<HH", body, pos)
    records[code] = body[pos + 4:pos + 4 + n]
    pos += 4 + n
for code, want in ((0, "talmox.hhc"), (1, "talmox.hhk"), (5, "main")):
    given = records.get(code, b"").rstrip(b"\0").decode("latin-1")
    if given.lower() != want:
        print(f"the system record names {given!r} where {want} is wanted (code {code})")
        bad = 1
sys.exit(bad)' || bad=1
[ $bad -eq 0 ] && echo "$chm: $(wc -w <<< "$pages") pages, the contents and the index"
exit $bad
