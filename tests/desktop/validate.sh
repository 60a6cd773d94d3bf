#!/usr/bin/env bash
# The installed desktop files: the menu entry and the AppStream metadata pass their validators,
# Paradox tables get their own file type while SQLite databases named *.db keep theirs, every
# icon has its size, and the manual page renders without warnings.
#   validate.sh PREFIX FIXTURES MIMETYPE [--system]
# PREFIX is where Zorvik was installed (a staging folder, or /usr); MIMETYPE is the test program
# that asks Qt's MIME database. The file types are looked up in a database made from PREFIX's
# MIME package, or with --system in the system's own.
set -u
prefix=$(readlink -f "$1") fixtures=$(readlink -f "$2") mimetype=$(readlink -f "$3") system=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok: $1"; fi; }

id=org.example.zorvik
desktop=$prefix/share/applications/$id.desktop
check "desktop-file-validate" 'desktop-file-validate "$desktop"'
check "the entry starts the launcher with the files and names both table types" \
    'grep -qx "Exec=zorvik-launch --open %F" "$desktop" && grep -qx "MimeType=application/x-dbf;application/x-paradox;" "$desktop"'
check "appstreamcli validate --no-net" 'appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$work/as.txt" || { cat "$work/as.txt"; false; }'

for size in 16 22 24 32 48 64 128 256; do
    check "icon ${size}x$size" \
        'file -b "$prefix/share/icons/hicolor/${size}x$size/apps/zorvik.png" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA"'
done
for man in man1 ru/man1; do
    page=$prefix/share/man/$man/zorvik.1.gz
    check "the manual page $man/zorvik.1 renders without warnings" \
        'LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null | tee "$work/man.txt" | [ ! -s "$work/man.txt" ]'
    check "zorvik-launch has the same page" '[ "$(readlink "$prefix/share/man/$man/zorvik-launch.1.gz")" = zorvik.1.gz ]'
done

# File types: Paradox tables of several versions, and a SQLite database, a text and random bytes
# all named .db.
mkdir "$work/files"
cp "$fixtures/paradox/alltypes.db" "$fixtures/real/paradox/date35.db" "$fixtures/real/paradox/date5.db" "$fixtures/real/paradox/AREACODE.DB" \
   "$fixtures/dbase/cp866.dbf" "$work/files/"
cp "$fixtures/paradox/alltypes.db" "$work/files/paradox-without-extension"
python3 -c 'import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); c.execute("create table t(a)"); c.commit()' "$work/files/sqlite.db"
if [ "$system" != --system ]; then
    mkdir -p "$work/xdg/mime/packages"
    cp "$prefix/share/mime/packages/zorvik.xml" "$work/xdg/mime/packages/"
    update-mime-database "$work/xdg/mime" >/dev/null 2>&1
    export XDG_DATA_HOME=$work/xdg
fi
# As GLib (GNOME's file manager, gio) and Qt (KDE's) see them.
gio_type() { gio info -a standard::content-type "$work/files/$1" | sed -n 's/^ *standard::content-type: //p'; }
qt_type() { "$mimetype" "$work/files/$1" | sed 's/.* //'; }
for by in gio qt; do
    for f in alltypes.db date35.db date5.db AREACODE.DB paradox-without-extension; do
        check "$by: $f is a Paradox table" '[ "$(${by}_type "$f")" = application/x-paradox ]'
    done
    check "$by: sqlite.db is a SQLite database" '[ "$(${by}_type sqlite.db)" = application/vnd.sqlite3 ]'
    check "$by: cp866.dbf is a dBASE table" '[ "$(${by}_type cp866.dbf)" = application/x-dbf ]'
done
check "xdg-mime tells them apart too" \
    '[ "$(XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$work/files/alltypes.db")" = application/x-paradox ] &&
     [ "$(XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$work/files/sqlite.db")" = application/vnd.sqlite3 ]'
exit $fail
