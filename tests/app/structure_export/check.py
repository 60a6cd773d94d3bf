"""Checks the four exports run.sh wrote in WORK: the JSON against the golden file (paths and
file times normalised), the HTML parsed, the Markdown tables well formed, the CSV read back.
   check.py WORK GOLDEN          (ZORVIK_UPDATE_GOLDEN=1 rewrites the golden file)"""
import csv
import html.parser
import io
import json
import os
import re
import sys

work, golden = sys.argv[1], sys.argv[2]
failed = False


def check(name, ok, detail=""):
    global failed
    print(("ok: " if ok else "FAIL: ") + name + ("" if ok else " " + str(detail)))
    failed = failed or not ok


def read(name):
    with open(os.path.join(work, name), encoding="utf-8") as f:
        return f.read()


# JSON: valid, and equal to the golden file once the scratch folder and the file times are
# replaced by placeholders (key order included: the text is compared).
text = read("out.json")
data = json.loads(text)
tables = data["tables"]
normal = text.replace(work, "<ROOT>")
normal = re.sub(r'"fileTime": "[^"]*"', '"fileTime": "<TIME>"', normal)
if os.environ.get("ZORVIK_UPDATE_GOLDEN") == "1":
    with open(golden, "w", encoding="utf-8") as f:
        f.write(normal)
with open(golden, encoding="utf-8") as f:
    expected = f.read()
check("JSON equals the golden file", normal == expected,
      "\n".join(l for l in __import__("difflib").unified_diff(expected.splitlines(), normal.splitlines(), lineterm=""))[:3000])
check("JSON: 12 tables, numbered as the catalogue numbers them",
      [t["number"] for t in tables] == [1, 2, 3, 4, 5, 6, 7, 8, None, 9, None, 10])
by_name = {}
for t in tables:
    by_name.setdefault(t["name"], []).append(t)
check("JSON: the damaged tables are documented, not skipped",
      by_name["note.dbf"][0]["error"] and by_name["gone.dbf"][0]["error"]
      and by_name["bad_count.dbf"][0]["findings"] and by_name["dbase_83_missing_memo.dbf"][0]["findings"])
check("JSON: the code page chosen on the command line",
      [(t["codePage"]["codePage"], t["codePage"]["source"]) for t in by_name["cp866.dbf"]] == [(866, "header"), (1251, "user")])
check("JSON: a Cyrillic folder kept", by_name["cyr1251.db"][0]["folder"].endswith("/paradox/Клиенты/"))

# HTML: parses; the contents list links every section; nothing outside the page is needed.
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.links, self.external, self.charset, self.stack, self.text = [], [], [], None, [], []
        self.sections = 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag not in ("meta", "br", "hr", "img", "link", "input"):
            self.stack.append(tag)
        if tag == "section":
            self.sections += 1
            self.ids.append(a.get("id"))
        if tag == "a" and "href" in a:
            self.links.append(a["href"])
        if tag in ("link", "script", "img", "iframe") or (tag == "a" and not a.get("href", "#").startswith("#")):
            self.external.append(tag)
        if tag == "meta" and "charset" in a:
            self.charset = a["charset"].lower()

    def handle_endtag(self, tag):
        if self.stack and self.stack[-1] == tag:
            self.stack.pop()
        else:
            self.external.append("unbalanced </%s>" % tag)

    def handle_data(self, data):
        self.text.append(data)


page = Page()
page.feed(read("out.html"))
page.close()
check("HTML: one section per table", page.sections == len(tables), page.sections)
check("HTML: every contents link has its section", sorted(page.links) == sorted("#" + i for i in page.ids) and len(set(page.ids)) == len(tables))
check("HTML: self-contained and balanced", not page.external and not page.stack, (page.external, page.stack))
check("HTML: UTF-8 and Cyrillic", page.charset == "utf-8" and "Описание таблиц" in "".join(page.text) and "Клиенты" in "".join(page.text))

# Markdown: one heading per table, every table row with as many cells as its header.
md = read("out.md")
headings = [l for l in md.splitlines() if l.startswith("## ") and not l.startswith("## Содержание")]
check("Markdown: one heading per table", len(headings) == len(tables), len(headings))
cells = lambda line: len(re.findall(r"(?<!\\)\|", line))
rows_ok = True
header = None
for line in md.splitlines():
    if line.startswith("|"):
        if header is None:
            header = cells(line)
        elif cells(line) != header:
            rows_ok = False
            print("  bad row:", line)
    else:
        header = None
check("Markdown: table rows well formed", rows_ok)

# CSV: UTF-8 with a byte order mark; one row per field (one for a table without fields), its
# table's columns repeated.
raw = open(os.path.join(work, "out.csv"), "rb").read()
check("CSV: starts with the UTF-8 byte order mark", raw.startswith(b"\xef\xbb\xbf"))
rows = list(csv.DictReader(io.StringIO(raw.decode("utf-8-sig"), newline="")))
check("CSV: one row per field", len(rows) == sum(max(1, len(t["fields"])) for t in tables), len(rows))
expected_rows = []
for t in tables:
    for f in t["fields"] or [None]:
        expected_rows.append((t["name"], t["path"], f and f["name"], f and str(f["width"])))
got_rows = [(r["name"], r["path"], r["field_name"] or None, r["width"] or None) for r in rows]
check("CSV: rows read back as the JSON has them", got_rows == expected_rows)
check("CSV: Cyrillic read back", any(r["folder"].endswith("Клиенты/") for r in rows))

sys.exit(1 if failed else 0)
