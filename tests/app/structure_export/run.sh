#!/usr/bin/env bash
# zorvik --export: a small tree of tables made from the fixtures (nested folders, a damaged
# table, a file that is not a table, a missing one) written in the four formats; the JSON
# compared with the golden file, the HTML parsed, the CSV read back (check.py), and the exit
# statuses.
#   run.sh ZORVIK SOURCE_DIR
set -u
export LC_ALL=C.UTF-8   # tables without a code page mark are read in the locale's
zorvik=$(readlink -f "$1") src=$(readlink -f "$2")
here=$src/tests/app/structure_export
fx=$src/tests/fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp -r "$src/Data" . && chmod -R u+w Data
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok: $1"; fi; }

t=$work/tree
mkdir -p "$t/dbase/memo" "$t/paradox/Клиенты" "$t/damaged" "$t/index"
cp "$fx/dbase/cp866.dbf" "$fx/dbase/vfp_types.dbf" "$fx/dbase/vfp_types.fpt" "$t/dbase/"
cp "$fx/dbase/db4_memo.dbf" "$fx/dbase/db4_memo.dbt" "$fx/dbase/deleted.dbf" "$t/dbase/memo/"
cp "$fx/paradox/cyr1251.db" "$t/paradox/Клиенты/"
cp "$fx/real/paradox/CUSTOMER.DB" "$fx/real/paradox/CUSTOMER.MB" "$t/paradox/"
cp "$fx/mdx/main_rows/ZORMAIN.DBF" "$fx/mdx/main_rows/ZORMAIN.MDX" "$t/index/"
cp "$fx/dbase/bad_count.dbf" "$fx/real/dbase/dbase_83_missing_memo.dbf" "$t/damaged/"
printf 'Not a table, only a note that ends in .dbf\n' >"$t/damaged/note.dbf"
chmod -R u+w "$t"
tables=("$t/dbase/cp866.dbf" "$t/dbase/vfp_types.dbf" "$t/dbase/memo/db4_memo.dbf" "$t/dbase/memo/deleted.dbf"
        "$t/paradox/Клиенты/cyr1251.db" "$t/paradox/CUSTOMER.DB" "$t/index/ZORMAIN.DBF"
        "$t/damaged/bad_count.dbf" "$t/damaged/note.dbf" "$t/damaged/dbase_83_missing_memo.dbf" "$t/damaged/gone.dbf"
        --codepage 1251 "$t/dbase/cp866.dbf")

for ext in json html md csv; do
    "$zorvik" --export "out.$ext" "${tables[@]}" 2>"err.$ext.txt"
    status=$?
    check "$ext: written, status 1 for failed tables and findings" '[ $status -eq 1 ] && [ -s "out.$ext" ]'
done
check "the failures are named on standard error" 'grep -q "gone.dbf»: не удаётся открыть: файл не найден" err.json.txt && grep -q "note.dbf" err.json.txt'
check "no temporary file left beside the output" '[ -z "$(ls -A | grep -v -e "^out\." -e "^err\." -e "^Data$" -e "^tree$")" ]'
/usr/bin/python3 "$here/check.py" "$work" "$here/golden.json" || fail=1

# The same tables twice give the same JSON but for the file times (diff-friendly).
"$zorvik" --export again.json "${tables[@]}" 2>/dev/null
check "a second export is the same" 'cmp -s out.json again.json'

# Clean tables only: status 0, nothing on standard error.
"$zorvik" --export clean.json "$t/dbase/cp866.dbf" "$t/index/ZORMAIN.DBF" 2>err.txt
check "clean tables: status 0" '[ $? -eq 0 ] && [ ! -s err.txt ]'
"$zorvik" --export none.json 2>err.txt
check "no tables: status 0 and an empty list" '[ $? -eq 0 ] && grep -q "\"tables\": \[\]" none.json'

# Usage errors and files that cannot be written: status 2, and an older export stays as it was.
cp clean.json keep.json
"$zorvik" --export 2>err.txt
check "--export without a file: status 2" '[ $? -eq 2 ] && grep -q -- "--export" err.txt'
"$zorvik" --export out.txt "$t/dbase/cp866.dbf" 2>err.txt
check "an unknown extension: status 2, nothing written" '[ $? -eq 2 ] && [ ! -e out.txt ] && grep -q ".html, .md, .json" err.txt'
"$zorvik" --export x.json --codepage 1253 "$t/dbase/cp866.dbf" 2>err.txt
check "an unknown code page: status 2" '[ $? -eq 2 ] && [ ! -e x.json ] && grep -q "1253" err.txt'
"$zorvik" --export "$work/no/such/folder/x.json" "$t/dbase/cp866.dbf" 2>err.txt
check "a folder that does not exist: status 2" '[ $? -eq 2 ] && grep -q "не удаётся записать" err.txt'
mkdir taken.json
"$zorvik" --export taken.json "$t/dbase/cp866.dbf" 2>err.txt
check "a name taken by a folder: status 2, no temporary file left" '[ $? -eq 2 ] && [ -z "$(ls -d taken.json.* 2>/dev/null)" ]'
check "the older export is untouched" 'cmp -s clean.json keep.json'
mkdir nodata && (cd nodata && "$zorvik" --export x.json "$t/dbase/cp866.dbf" 2>../err.txt)
check "no catalogue: status 2, the catalogue messages" '[ $? -eq 2 ] && [ ! -e nodata/x.json ] && grep -q "ZORMain.dbf" err.txt'
exit $fail
