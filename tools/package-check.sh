#!/usr/bin/env bash
# The Debian package, made and tried on this machine (run as root): build it from an existing
# build folder, lintian it, install it with apt-get, run the installed tool headless through the
# launcher from another folder with a temporary home, validate the installed desktop files and
# file types, then remove the package and check that nothing of it is left.
#   tools/package-check.sh [BUILD_DIR]       (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
build=$(readlink -f "${1:-build}")

# The package installs under /usr; only the install rules change with the prefix, nothing is
# compiled again.
cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target zorvik desktop_files desktop_mimetype >"$build/package-build.log" 2>&1 || {
    cat "$build/package-build.log"; exit 1; }
rm -f "$build"/zorvik_*.deb
(cd "$build" && cpack -G DEB >>"$build/package-build.log" 2>&1) || { cat "$build/package-build.log"; exit 1; }
deb=$(ls "$build"/zorvik_*.deb)
echo "package: $deb"

# lintian: an error fails the check; warnings and notes are shown.
lintian_status=0
lintian_report=$(lintian --fail-on error --display-info "$deb" 2>&1) || lintian_status=$?
grep -v "^running with root privileges" <<<"$lintian_report" || true
[ $lintian_status -eq 0 ] || { echo "FAIL: lintian reports errors"; exit 1; }

export DEBIAN_FRONTEND=noninteractive
removed=0
remove() { [ $removed -eq 1 ] || apt-get remove -y --purge zorvik >/dev/null || true; removed=1; }
trap remove EXIT
apt-get install -y "$deb" >/dev/null
echo "installed: $(dpkg-query -W -f='${Package} ${Version}' zorvik)"

fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok: $1"; fi; }
work=$(mktemp -d)
trap 'remove; rm -rf "$work"' EXIT

check "the package's files in place" \
    '[ -x /usr/bin/zorvik ] && [ -x /usr/bin/zorvik-launch ] && [ -s /usr/share/zorvik/Data/ZORMain.dbf ]'
manual=$(LC_ALL=C MANWIDTH=200 man -l /usr/share/man/man1/zorvik.1.gz 2>/dev/null)
check "the manual page explains every option zorvik --help names" \
    '(for o in $(zorvik --help | grep -o -- "--[a-z]\+" | sort -u); do
         grep -qF -- "$o" <<<"$manual" || { echo "  not in the manual page: $o"; exit 1; }
     done)'

# The installed launcher and files, by the same scripts the test suite runs on a staging folder.
bash tests/desktop/launcher.sh /usr/bin/zorvik-launch tests/fixtures || fail=1
bash tests/desktop/validate.sh /usr tests/fixtures "$build/tests/desktop/desktop_mimetype" --system || fail=1

# The sample tables' report to PDF from another folder, with a fresh home, as a user would.
mkdir -p "$work/home" "$work/elsewhere"
status=0
(cd "$work/elsewhere" && cp -r "$source/samples" tables &&
 HOME=$work/home env -u DISPLAY -u XDG_DATA_HOME zorvik-launch --pdf report.pdf tables/*.dbf tables/*.DB 2>"$work/err.txt") || status=$?
pages=$(pdfinfo "$work/elsewhere/report.pdf" 2>/dev/null | sed -n 's/^Pages: *//p')
check "zorvik-launch --pdf over the sample tables: exit status 0" '[ $status -eq 0 ] && [ "${pages:-0}" -ge 1 ]'
# The complete structure of a folder of fixture tables, the same way.
status=0
(cd "$work/elsewhere" && cp -r "$source/tests/fixtures/real/paradox" paradox &&
 HOME=$work/home env -u DISPLAY -u XDG_DATA_HOME zorvik-launch --export "structure.json" paradox/*.DB paradox/*.db \
     2>"$work/err.txt") || status=$?
tables_in() { python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1], encoding="utf-8"))["tables"]))' "$1"; }
check "zorvik-launch --export over a fixture folder: every table in the JSON, exit status 0 or 1 (findings)" \
    '[ $status -le 1 ] && [ "$(tables_in "$work/elsewhere/structure.json")" -eq "$(ls "$work/elsewhere/paradox" | grep -ic "\.db$")" ]'
check "the menu entry is registered for Paradox and dBASE tables (\"Open with\")" \
    'grep -q "^application/x-paradox=.*org.example.zorvik.desktop" /usr/share/applications/mimeinfo.cache &&
     grep -q "^application/x-dbf=.*org.example.zorvik.desktop" /usr/share/applications/mimeinfo.cache &&
     [ "$(HOME=$work/home xdg-mime query default application/x-paradox)" = org.example.zorvik.desktop ]'

# The menu entry started as a file manager starts it for "Open with" on a table named relative
# to its folder (gio launch runs the entry's Exec line): the program gets the table as an
# absolute path with --open and runs in the desktop's folder.
mkdir -p "$work/home2"
(cd "$work/elsewhere" && HOME=$work/home2 QT_QPA_PLATFORM=offscreen \
    gio launch /usr/share/applications/org.example.zorvik.desktop tables/ALLTYPES.DB 2>/dev/null) || true
started=
for _ in $(seq 100); do
    started=$(pgrep -f -x -- "/usr/bin/zorvik --open $work/elsewhere/tables/ALLTYPES.DB" || true)
    [ -n "$started" ] && break
    sleep 0.1
done
check "\"Open with\" through the menu entry: zorvik --open with the absolute path, in ~/.local/share/zorvik" \
    '[ -n "$started" ] && [ "$(readlink "/proc/$started/cwd")" = "$work/home2/.local/share/zorvik" ]'
[ -z "$started" ] || kill "$started"

remove
check "nothing left after removal" \
    '[ ! -e /usr/bin/zorvik ] && [ ! -e /usr/bin/zorvik-launch ] && [ ! -e /usr/share/zorvik ] &&
     [ ! -e /usr/share/applications/org.example.zorvik.desktop ] && ! grep -q x-paradox /usr/share/mime/globs2'
exit $fail
