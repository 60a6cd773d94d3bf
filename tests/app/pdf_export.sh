#!/usr/bin/env bash
# zorvik --pdf: the catalogue report written without a window, read back with pdftotext; failures
# go to standard error in the error box's words with a non-zero exit status.
#   pdf_export.sh ZORVIK SOURCE_DIR MKCATALOGUE
set -u
zorvik=$(readlink -f "$1") src=$(readlink -f "$2") mkcatalogue=$(readlink -f "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The catalogue files as shipped, made afresh: the source tree's Data/ may have been filled by a run.
mkdir Data && "$mkcatalogue" Data >/dev/null || { echo "FAIL: mkcatalogue"; exit 1; }
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

# The page as the PDF itself places it (pdftotext -bbox, in points from the top-left corner):
# A4; the title 94.7 mm and «Таблица:» 16.3 mm from the left edge (10 mm margin + the element's
# place in its band); the footer line's «Отпечатано:» 20.6 mm from the left, 280.6 mm from the
# top (297 - 10 margin - 10.6 band + 4.2). Within 0.5 mm.
geometry() {
  pdftotext -bbox out.pdf - | /usr/bin/python3 -c '
import re, sys
html = sys.stdin.read()
page = re.search(r"<page width=\"([\d.]+)\" height=\"([\d.]+)\"", html)
mm = lambda pt: float(pt) * 25.4 / 72
words = [(w, mm(x), mm(y)) for x, y, w in re.findall(r"<word xMin=\"([\d.]+)\" yMin=\"([\d.]+)\"[^>]*>([^<]*)</word>", html)]
def first(text):
    return next(((x, y) for w, x, y in words if w.startswith(text)), (None, None))
checks = [("page width", mm(page.group(1)), 210.0), ("page height", mm(page.group(2)), 297.0),
          ("title left", first("Описание")[0], 94.7), ("Таблица: left", first("Таблица:")[0], 16.3),
          ("footer left", first("Отпечатано:")[0], 20.6), ("footer top", first("Отпечатано:")[1], 280.6)]
bad = [f"{name}: {got} mm, not {want} mm" for name, got, want in checks if got is None or abs(got - want) > 0.5]
print("\n".join(bad))
sys.exit(1 if bad else 0)
'
}
check "A4, the title, «Таблица:» and the footer where the layout puts them" 'geometry'

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
