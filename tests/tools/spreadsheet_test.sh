#!/usr/bin/env bash
# The spreadsheet CSV opened by a real spreadsheet program: LibreOffice
# headless reads what quellkamp-list --spreadsheet-csv writes (the viewer's
# CSV export, byte for byte) as a user's double click would, and every size
# must come out a number, every date a date, and no cell a formula.
#
#   spreadsheet_test.sh LISTER
set -euo pipefail
lister=$1
command -v soffice >/dev/null || { echo "FAIL: soffice is missing (scripts/setup)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%s\r\n' \
    'D:\A\halter.par   1.234,5KB  16.09.2018 07:36 cad01' \
    'E:\Werk\baugruppe.asm 12MB 01.02.2017 13:05 cad02' \
    '=1+1\x.par 999 1.2.2019 08:00 @SUM(A1)' \
    '=HYPERLINK("http://127.0.0.1:8765/"&A2)\y.dft 5 31.12.2019 23:59 +cad' \
    'D:\-z\-w.psm 0 29.02.2020 00:00 -1+1' >"$work/log.txt"
"$lister" --spreadsheet-csv "$work/log.txt" >"$work/list.csv"

# Comma, quotation mark, UTF-8, from the first line: what the file says.
HOME="$work" soffice --headless --infilter="CSV:44,34,76,1" --convert-to fods \
    --outdir "$work" "$work/list.csv" >"$work/soffice.log" 2>&1 ||
    { cat "$work/soffice.log" >&2; echo "FAIL: soffice could not convert" >&2; exit 1; }

python3 - "$work/list.fods" <<'EOF'
import sys
import xml.etree.ElementTree as ET

table = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
office = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"
rows = []
for row in ET.parse(sys.argv[1]).iter(table + "table-row"):
    cells = []
    for cell in row.iter(table + "table-cell"):
        repeat = int(cell.get(table + "number-columns-repeated", "1"))
        cells += [cell] * min(repeat, 6)
    rows.append(cells[:6])
failures = []
def check(ok, what):
    if not ok:
        failures.append(what)
check([c.get(office + "value-type") for c in rows[0]] == ["string"] * 6, "the heading is text")
sizes = ["1263616", "12582912", "999", "5", "0"]
dates = ["2018-09-16", "2017-02-01", "2019-02-01", "2019-12-31", "2020-02-29"]
for number, cells in enumerate(rows[1:6]):
    size, date = cells[2], cells[3]
    check(size.get(office + "value-type") == "float" and size.get(office + "value") == sizes[number],
          f"row {number + 1}: the size {sizes[number]} is a number")
    check(date.get(office + "value-type") == "date" and
          date.get(office + "date-value", "").startswith(dates[number]),
          f"row {number + 1}: the date {dates[number]} is a date")
for number, cells in enumerate(rows):
    for cell in cells:
        check(cell.get(table + "formula") is None, f"row {number}: no cell is a formula")
texts = ["".join(c.itertext()).strip() for c in rows[3] + rows[4] + rows[5]]
for text in ["'=1+1\\", "'@SUM(A1)", "'+cad", "'-w.psm", "'-1+1"]:
    check(text in texts, f"the neutralised cell {text} is text")
for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
EOF
echo "spreadsheet: ok"
