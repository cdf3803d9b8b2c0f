#!/usr/bin/env bash
# Checks that the folders of src/ include one way only: each folder may include its own headers
# and those of the folders below it, never one above; and that the transfer and link code
# below the windows makes no window call, reaching the user only through its report table.
set -euo pipefail
src="${1:-$(dirname "$0")/../../src}"
# From the top down; a folder's rank is its place in this list.
layers=(app mainwindow browser winshared protocol connection base)
rank() { local i; for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done; echo -1; }
bad=0
for dir in "$src"/*/; do
  from=$(basename "$dir")
  rf=$(rank "$from")
  if [ "$rf" -lt 0 ]; then echo "src/$from is not in the layer list"; bad=1; continue; fi
  while IFS=: read -r file line; do
    to=${line#*\"}; to=${to%%/*}
    rt=$(rank "$to")
    if [ "$rt" -lt "$rf" ]; then
      echo "$(basename "$file") in src/$from includes src/$to, a layer above it"
      bad=1
    fi
  done < <(grep -H -o '#include "[a-z]*/[a-z_]*\.h"' "$dir"* || true)
done
for from in protocol connection base; do
  [ -d "$src/$from" ] || continue
  if grep -n -E '\b(HWND|SendMessage[AW]?|PostMessage[AW]?|SetDlgItemText[AW]?|MessageBox[AW]?|SetWindowText[AW]?|EnableWindow|PlaySound[AW]?|DialogBox[A-Za-z]*)\b|"resource\.h"' \
       "$src/$from"/*; then
    echo "src/$from makes a window call (above)"
    bad=1
  fi
done
[ "$bad" = 0 ] && echo "layers: every include goes down, and no window call below the windows"
exit "$bad"
