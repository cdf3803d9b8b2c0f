#!/usr/bin/env bash
# The MSI package as an administrator deploys it and a user then meets it, in a fresh Wine
# prefix: a silent install; the files, the shortcuts and the Add/Remove Programs entry; the
# program started from its Start menu shortcut; files handed over through the Send To shortcut
# to the running copy; the version resource against the About box; the windows in the system's
# two looks; an uninstall that keeps the user's settings; an upgrade from an older version.
#   e2e-install.sh ARCH VERSION BUILD DIST
# ARCH: x64 or x86 (the x86 package lands in Program Files (x86), its settings in the 32-bit
# registry view, so it needs a Wine that runs 32-bit programs on a 64-bit prefix).
# VERSION: the project's x.y.z; BUILD: the x64 build folder (driver, screenshots); DIST: the
# folder of the packages. Exits 0 when every check held, 1 at the first that did not, 77 when
# this machine cannot make the case (1 under CI). Screenshots go to BUILD/e2e/shots.
set -u
arch=$1 version=$2
E2E_BUILD=$(cd "$3" && pwd)
dist=$(cd "$4" && pwd)
export E2E_BUILD
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../machines/machine-lib.sh"

msi=$dist/talmox-$version-$arch.msi
zip=$dist/talmox-$version-$arch.zip
work=$E2E_BUILD/e2e/install-$arch
shots=$E2E_BUILD/e2e/shots
M=$work/M
ns=inst$$-$arch

cleanup() {
  machine_destroy "$M"
  ip netns del "$ns" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*"
  [ -s "$M/display" ] && machine_shot "$M" "$shots/install-$arch-failed.png" 2>/dev/null &&
    echo "  screen at the failure: $shots/install-$arch-failed.png"
  exit 1
}
step() { echo "== $*"; }

[ -f "$msi" ] && [ -f "$zip" ] || fail "no $msi or $zip: the build makes them (make dist)"
rm -rf "$work" "$shots/install-$arch-failed.png"; mkdir -p "$M" "$shots" "$work/zip"
python3 -m zipfile -e "$zip" "$work/zip" || fail "cannot open $zip"
shipped=$work/zip/talmox-$version-$arch

# ---- the machine -------------------------------------------------------------------------
ip netns add "$ns" 2>/dev/null || skip_case "no network namespaces here"
ip -n "$ns" link set lo up
echo "$ns" > "$M/netns"
# Wine's menu builder would copy the shortcuts into this Linux user's desktop menus.
quiet="mscoree,mshtml=;winemenubuilder.exe=d"
step "a fresh prefix"
machine_exec "$M" env -u DISPLAY WINEDLLOVERRIDES="$quiet" wineboot -i >/dev/null 2>&1
machine_exec "$M" wineserver -w
[ -f "$M/pfx/system.reg" ] || fail "wineboot made no prefix"
printf '\n[Software\\\\Wine\\\\DllOverrides] 1796552658\n"winemenubuilder.exe"=""\n' >> "$M/pfx/user.reg"
# Without a window manager a managed window makes Wine wait for one (machine_create says more).
printf '\n[Software\\\\Wine\\\\X11 Driver] 1796552658\n"Managed"="N"\n' >> "$M/pfx/user.reg"
mkdir -p "$M/pfx/drive_c/talmox" "$M/pfx/drive_c/setup" "$M/pfx/drive_c/My Files"
cp "$E2E_BUILD/e2edriver.exe" "$M/pfx/drive_c/talmox/"
machine_start "$M" 1024x768 || fail "the machine's display or wineserver did not start"

c=$M/pfx/drive_c
case $arch in
  x64) pfwin='C:\Program Files\Talmox' pf="$c/Program Files/Talmox" view=/reg:64 ;;
  *)   pfwin='C:\Program Files (x86)\Talmox' pf="$c/Program Files (x86)/Talmox" view=/reg:32 ;;
esac
user=
for d in "$c"/users/*/AppData; do
  case $d in */Public/AppData) ;; *) user=$(basename "$(dirname "$d")") ;; esac
done
[ -n "$user" ] || fail "the prefix has no user profile"
menu_user="$c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Talmox.lnk"
menu_all="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Talmox.lnk"
sendto="$c/users/$user/AppData/Roaming/Microsoft/Windows/SendTo/Talmox.lnk"
settings='HKLM\Software\Varndel\Talmox'

wine_run() { machine_exec "$M" wine "$@"; }
to_win() { local p=${1#"$c"/}; p=${p//\//\\}; echo "C:\\$p"; }
field() { awk -F'\t' -v k="$1" '$1==k {print $2; exit}'; }

# The Add/Remove Programs entries named Talmox, in either registry view: "version|publisher".
arp_entries() {
  local v
  for v in /reg:64 /reg:32; do
    wine_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "$v" 2>/dev/null
  done | tr -d '\r' | awk '
    /^HKEY_/ { if (name == "Talmox") print ver "|" pub; name = ver = pub = ""; next }
    $1 == "DisplayName" { name = substr($0, index($0, "REG_SZ") + 10) }
    $1 == "DisplayVersion" { ver = substr($0, index($0, "REG_SZ") + 10) }
    $1 == "Publisher" { pub = substr($0, index($0, "REG_SZ") + 10) }
    END { if (name == "Talmox") print ver "|" pub }' | sort
}

# Where the Start menu shortcut went: the all-users menu, or (as Wine's installer does) the
# installing user's; the Start menu shows both, and exactly one must be there.
menu_links() { local f; for f in "$menu_all" "$menu_user"; do [ -f "$f" ] && echo "$f"; done; }

install_msi() {
  cp "$1" "$c/setup/"
  wine_run msiexec /i "C:\\setup\\$(basename "$1")" /qn >/dev/null 2>&1 ||
    fail "msiexec /i $(basename "$1") /qn ended with $?"
}

# What a shortcut starts must be the installed program, started in its folder, with no
# arguments of its own: Send To's files must be the only ones it gets.
check_link() {
  local lnk=$1 out
  out=$(machine_drive "$M" link "$(to_win "$lnk")") || fail "the shortcut $lnk cannot be read: $out"
  [ "$(field target <<< "$out")" = "$pfwin\\talmox.exe" ] ||
    fail "$(basename "$lnk") starts \"$(field target <<< "$out")\", not $pfwin\\talmox.exe"
  [ -z "$(field args <<< "$out")" ] || fail "$(basename "$lnk") adds \"$(field args <<< "$out")\""
  [ "$(field workdir <<< "$out" | sed 's/\\$//')" = "$pfwin" ] ||
    fail "$(basename "$lnk") starts in \"$(field workdir <<< "$out")\""
}

# The installed program, its help file and nothing else, byte for byte those of the zip; one
# Start menu and one Send To shortcut, both to it; one entry in Add/Remove Programs.
check_installed() {
  local want=$1
  [ "$(ls "$pf" 2>/dev/null | sort | tr '\n' ' ')" = "talmox.chm talmox.exe " ] ||
    fail "$pfwin holds \"$(ls "$pf" 2>/dev/null | tr '\n' ' ')\", not the program and its help"
  cmp -s "$pf/talmox.exe" "$shipped/talmox.exe" && cmp -s "$pf/talmox.chm" "$shipped/talmox.chm" ||
    fail "the installed files are not those of $(basename "$zip")"
  [ "$(menu_links | wc -l)" = 1 ] || fail "Start menu shortcuts: \"$(menu_links)\""
  check_link "$(menu_links)"
  [ -f "$sendto" ] || fail "no Send To shortcut: $sendto"
  check_link "$sendto"
  local entries; entries=$(arp_entries)
  [ "$entries" = "$want|Varndel" ] ||
    fail "Add/Remove Programs lists \"$(tr '\n' ' ' <<< "$entries")\", not one Talmox $want by Varndel"
  echo "installed: $pfwin, $(basename "$(menu_links)") in the Start menu, Send To \"Talmox\", entry $want"
}

talmox_pids() { machine_pids "$M" 'talmox\.exe'; }

# Started as a user does: the Start menu shortcut, opened by the shell.
start_from_menu() {
  machine_exec "$M" wine start "$(to_win "$(menu_links)")" >/dev/null 2>&1
  machine_drive "$M" main 30000 >/dev/null ||
    fail "no main window after the Start menu shortcut (wine said \"$(tail -2 "$M/driver.err" | tr '\n' ' ')\")"
}

quit_program() {
  machine_drive "$M" post 40009 >/dev/null   # Exit
  for _ in $(seq 100); do [ -z "$(talmox_pids)" ] && return 0; sleep 0.2; done
  fail "the program did not end after Exit"
}

# The main window and the settings dialog, in pictures named after the look.
take_shots() {
  local look=$1
  machine_shot "$M" "$shots/install-$arch-$look-main.png" TALMOX || fail "no picture of the main window"
  machine_drive "$M" post 40008 >/dev/null   # Settings
  machine_drive "$M" wait Settings 10000 >/dev/null || fail "the settings dialog did not open"
  machine_shot "$M" "$shots/install-$arch-$look-settings.png" Settings || fail "no picture of Settings"
  machine_drive "$M" click Settings 1 5000 >/dev/null || fail "the settings dialog did not close"
  echo "screenshots: $shots/install-$arch-$look-{main,settings}.png"
}

# ---- install ------------------------------------------------------------------------------
step "msiexec /i $(basename "$msi") /qn"
install_msi "$msi"
check_installed "$version"

step "the version resource, read as Explorer reads it"
ver=$(machine_drive "$M" version "$pfwin\\talmox.exe") || fail "no version resource: $ver"
echo "$ver" | sed 's/^/  /'
short=$(field ProductVersion <<< "$ver")
[ "$(field CompanyName <<< "$ver")" = Varndel ] || fail "the maker is not Varndel"
[ "$(field ProductName <<< "$ver")" = Talmox ] || fail "the product is not Talmox"
[ -n "$(field FileDescription <<< "$ver")" ] || fail "no description"
case $(field LegalCopyright <<< "$ver") in "Copyright (C) "*Varndel) ;; *) fail "no copyright of Varndel" ;; esac
[ "$short" = "${version%.*}" ] || fail "product version \"$short\", the package's is $version"
for k in fixed_file fixed_product FileVersion; do
  [ "$(field $k <<< "$ver")" = "$version.0" ] || fail "$k is \"$(field $k <<< "$ver")\", not $version.0"
done

step "the program from its Start menu shortcut"
start_from_menu
mods=$(machine_drive "$M" modules)
first=$(field module <<< "$mods")
[ "$first" = "$pfwin\\talmox.exe" ] || fail "the shortcut started \"$first\""
# The manifest asks for the common controls of version 6, which follow the system's look.
grep -i comctl32 <<< "$mods" |
  grep -qiE '\\winsxs\\[^\\]*common-controls_[^\\]*_6\.0\.[^\\]*\\comctl32\.dll$' ||
  fail "the program runs without the common controls 6: $(grep -i comctl32 <<< "$mods" | tr '\n' ' ')"
echo "running: $first, with $(grep -i comctl32 <<< "$mods" | cut -f2)"

step "the About box against the version resource"
machine_drive "$M" post 40003 >/dev/null   # About
about=$(machine_drive "$M" wait "About talmox" 10000) || fail "the About box did not open"
about=$(awk -F'\t' '$1=="1002" {print $3}' <<< "$about")
machine_drive "$M" click "About talmox" 1 5000 >/dev/null || fail "the About box did not close"
[ "$about" = "Talmox Version $short" ] || fail "the About box says \"$about\", the resource $short"
echo "About box: $about"

# Explorer's Send To starts the shortcut's target with the chosen files as its arguments.
send_to() {
  printf 'first\n' > "$c/My Files/report one.txt"
  head -c 3000 /dev/urandom > "$c/My Files/data.bin"
  machine_exec "$M" timeout 60 wine start "$(to_win "$sendto")" 'C:\My Files\report one.txt' \
    'C:\My Files\data.bin' >/dev/null 2>&1 || fail "Send To did not start the program"
  machine_drive "$M" main 30000 >/dev/null || fail "no main window after Send To"
  local want=$'C:\\My Files\\data.bin\nC:\\My Files\\report one.txt' got copies
  # A copy that hands the files over ends once it has: one copy is left.
  for _ in $(seq 40); do
    got=$(machine_drive "$M" list 5 | awk -F'\t' '$1=="row" {print $4}' | sort)
    copies=$(talmox_pids | wc -l)
    [ "$got" = "$want" ] && [ "$copies" = 1 ] && break
    sleep 0.25
  done
  [ "$got" = "$want" ] || fail "the Send List holds \"$(tr '\n' ' ' <<< "$got")\", not the two files"
  [ "$copies" = 1 ] || fail "Send To left $copies copies running"
  echo "Send List: $(tr '\n' ';' <<< "$got")"
}

step "files sent to Talmox from Explorer's Send To, while it runs"
send_to

step "both looks: the system's visual style, then the classic one (started by Send To)"
take_shots themed
quit_program
wine_run reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f \
  >/dev/null 2>&1 || fail "cannot turn the visual style off"
send_to
take_shots classic
quit_program

# ---- uninstall ----------------------------------------------------------------------------
before=$(wine_run reg query "$settings" $view 2>/dev/null | tr -d '\r')
grep -q DestDir <<< "$before" || fail "the program left no settings under $settings"
step "msiexec /x $(basename "$msi") /qn"
wine_run msiexec /x "C:\\setup\\$(basename "$msi")" /qn >/dev/null 2>&1 || fail "msiexec /x ended with $?"
[ ! -e "$pf" ] || fail "$pfwin is still there: $(ls "$pf" | tr '\n' ' ')"
[ -z "$(menu_links)" ] || fail "the Start menu shortcut is still there"
[ ! -e "$sendto" ] || fail "the Send To shortcut is still there"
[ -z "$(arp_entries)" ] || fail "Add/Remove Programs still lists $(arp_entries)"
after=$(wine_run reg query "$settings" $view 2>/dev/null | tr -d '\r')
[ "$after" = "$before" ] || fail "the settings changed on uninstall: \"$after\""
echo "removed; the settings are kept: $(grep -c REG_ <<< "$after") values under $settings"

# ---- upgrade ------------------------------------------------------------------------------
IFS=. read -r major minor patch <<< "$version"
if [ "$patch" -gt 0 ]; then older=$major.$minor.$((patch - 1))
elif [ "$minor" -gt 0 ]; then older=$major.$((minor - 1)).0
else older=$((major - 1)).9.0
fi
step "an upgrade from $older to $version"
mkdir -p "$work/older"
cp "$shipped/talmox.exe" "$shipped/talmox.chm" "$here/../../res/talmox.ico" "$work/older/"
"$here/../build/make-msi.sh" "$arch" "$older" "$work/older" "$work/talmox-$older-$arch.msi" >/dev/null ||
  fail "cannot package version $older"
install_msi "$work/talmox-$older-$arch.msi"
[ "$(arp_entries)" = "$older|Varndel" ] || fail "after installing $older: \"$(arp_entries)\""
install_msi "$msi"
check_installed "$version"
wine_run msiexec /x "C:\\setup\\$(basename "$msi")" /qn >/dev/null 2>&1 || fail "msiexec /x ended with $?"
[ ! -e "$pf" ] && [ -z "$(menu_links)" ] && [ ! -e "$sendto" ] && [ -z "$(arp_entries)" ] ||
  fail "the upgraded version did not uninstall whole"
echo "upgraded to one entry, then removed"
echo "PASS: $(basename "$msi") installed, started, handed files, upgraded and removed"
