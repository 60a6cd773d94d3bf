#!/usr/bin/env bash
# zorvik --pdf: the catalogue report written without a window, read back with pdftotext; failures
# go to standard error in the error box's words with a non-zero exit status.
#   pdf_export.sh ZORVIK SOURCE_DIR
set -u
zorvik=$(readlink -f "$1") src=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp -r "$src/Data" . && chmod -R u+w Data
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok: $1"; fi; }

env -u DISPLAY "$zorvik" --pdf out.pdf "$src/samples/ALLTYPES.DB" "$src/samples/clients866.dbf" 2>err.txt
status=$?
text=$(pdftotext -layout out.pdf - 2>/dev/null)
check "exit status 0" '[ $status -eq 0 ]'
check "nothing on standard error" '[ ! -s err.txt ]'
check "title" 'grep -q "Описание таблиц" <<<"$text"'
check "both tables with their folder" 'grep -q "Таблица:ALLTYPES.DB *Путь: $src/samples/" <<<"$text" && grep -q "Таблица:clients866.dbf" <<<"$text"'
check "field rows with labels and sizes" 'grep -Eq "BCD +BCD +2" <<<"$text" && grep -Eq "CITY +String +20" <<<"$text"'
check "a 25-character name cut to 20" 'grep -q "FIELD_NAME_25_CHARS_" <<<"$text" && ! grep -q "FIELD_NAME_25_CHARS_A" <<<"$text"'
check "page footer" 'grep -q "Отпечатано:" <<<"$text" && grep -q "Страница: 1" <<<"$text"'

"$zorvik" --pdf bad.pdf "$src/samples/clients866.dbf" "$work/missing.dbf" 2>err.txt
status=$?
check "a missing table fails" '[ $status -ne 0 ] && [ ! -e bad.pdf ]'
check "its message as the error box says it" 'grep -q "^Файл «$work/missing.dbf»: не удаётся открыть: файл не найден\.$" err.txt'

mkdir empty && (cd empty && "$zorvik" --pdf e.pdf x.dbf 2>../err.txt)
status=$?
check "no catalogue: both messages, non-zero" '[ $status -ne 0 ] && [ "$(cat err.txt)" = "$(printf "%s\n%s" "Не могу открыть файл ZORMain.dbf из поддиректории Data\\" "Не могу открыть файл ZORDet.dbf из поддиректории Data\\")" ]'

"$zorvik" --pdf 2>err.txt
check "--pdf without a file name" '[ $? -eq 2 ] && grep -q -- "--pdf" err.txt'

"$zorvik" --pdf empty.pdf 2>err.txt
check "an empty pick list gives the empty report" '[ $? -eq 0 ] && pdftotext empty.pdf - | grep -q "Таблица:"'
exit $fail
