#!/usr/bin/env bash
# zorvik-launch, the desktop start: its own working folder in the XDG data home with a copy of
# the empty catalogue (never over an existing one), tables named relative to the caller made
# absolute whatever their names, and two starts at once sharing one catalogue like two copies
# in one folder.
#   launcher.sh LAUNCHER FIXTURES      (LAUNCHER: an installed zorvik-launch, staged or real)
set -u
launch=$(readlink -f "$1") fixtures=$(readlink -f "$2")
work=$(mktemp -d)
first=
trap '[ -n "$first" ] && kill "$first" 2>/dev/null; rm -rf "$work"' EXIT
export HOME="$work/домашняя папка"   # blanks and Cyrillic in the data folder's path too
unset XDG_DATA_HOME DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME" "$work/caller"
cd "$work/caller" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok: $1"; fi; }
catalogue="ZORMain.dbf ZORMAIN.MDX ZORDet.dbf ZORDET.MDX"
pdftext() { pdftotext -layout "$1" - 2>/dev/null; }

# Tables under awkward names, named relative to the caller's folder.
mkdir -p "sub dir/Таблицы"
cp "$fixtures/dbase/cp866.dbf" "sub dir/Таблицы/клиенты 866.dbf"
cp "$fixtures/dbase/db3_plain.dbf" -- "-dash.dbf"
cp "$fixtures/paradox/alltypes.db" "$fixtures/paradox/alltypes.mb" .

"$launch" --pdf "out dir.pdf" "sub dir/Таблицы/клиенты 866.dbf" -dash.dbf -- alltypes.db 2>err.txt
status=$?
text=$(pdftext "out dir.pdf")
check "first start: exit status 0, nothing on standard error" '[ $status -eq 0 ] && [ ! -s err.txt ]'
check "the PDF lands in the caller's folder" '[ -s "out dir.pdf" ]'
check "the catalogue copied to ~/.local/share/zorvik/Data" \
    '(for f in $catalogue; do [ -s "$HOME/.local/share/zorvik/Data/$f" ] || exit 1; done)'
check "no copy left half-made" '[ -z "$(find "$HOME/.local/share/zorvik/Data" -name ".*")" ]'
check "a Cyrillic name with blanks in a folder with blanks" \
    'grep -q "Таблица:клиенты 866.dbf *Путь: $work/caller/sub dir/Таблицы/" <<<"$text"'
check "a name beginning with a dash" 'grep -q "Таблица:-dash.dbf *Путь: $work/caller/" <<<"$text"'
check "a table after --" 'grep -q "Таблица:alltypes.db *Путь: $work/caller/" <<<"$text"'
check "the caller's folder is left alone" '[ ! -e Data ]'

# A catalogue already there is never overwritten; files missing from it are put back.
data=$HOME/.local/share/zorvik/Data
printf 'kept' > "$data/ZORDet.dbf"
rm "$data/ZORMAIN.MDX"
"$launch" --version >version.txt 2>err.txt
check "--version passes through" 'grep -q "^Zorvik " version.txt && [ ! -s err.txt ]'
check "an existing file is not overwritten" '[ "$(cat "$data/ZORDet.dbf")" = kept ]'
check "a missing file is copied again" '[ -s "$data/ZORMAIN.MDX" ]'
rm -r "$data"

# XDG_DATA_HOME, when absolute, is where the folder goes; a relative one is ignored.
XDG_DATA_HOME="$work/x d g" "$launch" --pdf xdg.pdf alltypes.db 2>err.txt
check "an absolute XDG_DATA_HOME is used" '[ $? -eq 0 ] && [ -s "$work/x d g/zorvik/Data/ZORMain.dbf" ] && [ -s xdg.pdf ]'
XDG_DATA_HOME=relative "$launch" --pdf rel.pdf alltypes.db 2>err.txt
check "a relative XDG_DATA_HOME is ignored" '[ $? -eq 0 ] && [ ! -e relative ] && [ -s "$data/ZORMain.dbf" ]'

# The program's options after which comes a file name are made absolute, other values are not.
"$launch" --export "structure out.json" --codepage 866 "sub dir/Таблицы/клиенты 866.dbf" 2>err.txt
status=$?
check "--export: the file lands in the caller's folder, --codepage's value passes unchanged" \
    '[ $status -le 1 ] && grep -q "клиенты 866.dbf" "structure out.json"'

# A table that is missing is reported with the absolute name it was given.
"$launch" --pdf bad.pdf gone.dbf 2>err.txt
check "a missing table: its absolute name in the message" \
    '[ $? -ne 0 ] && grep -q "^Файл «$work/caller/gone.dbf»: не удаётся открыть: файл не найден\.$" err.txt'

# Two starts at once: the first holds the catalogue (a window, here on the offscreen platform),
# the second is told it cannot open it, as a second copy in one folder is.
QT_QPA_PLATFORM=offscreen "$launch" --open alltypes.db >/dev/null 2>&1 &
first=$!
for _ in $(seq 100); do
    ls -l /proc/$first/fd 2>/dev/null | grep -q "zorvik/Data/ZORDet.dbf" && break
    sleep 0.1
done
"$launch" --pdf second.pdf alltypes.db 2>err.txt
status=$?
check "a second start while the first runs: the catalogue is in use" \
    '[ $status -eq 1 ] && grep -q "^Не могу открыть файл ZORMain.dbf из поддиректории Data" err.txt && [ ! -e second.pdf ]'
check "the first start is still running" 'kill -0 "$first" 2>/dev/null'
kill "$first" 2>/dev/null
wait "$first" 2>/dev/null
first=
exit $fail
