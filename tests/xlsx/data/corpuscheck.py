"""The oracle of the corpus test, with openpyxl.
  corpuscheck.py choose FILE
      prints the most frequent word (4+ letters) of the workbook's texts
  corpuscheck.py check BEFORE AFTER WORD REPLACEMENT
      checks that AFTER is BEFORE with WORD replaced (case-sensitive, every
      occurrence) in every text and formula (as the formula bar shows it) of
      every worksheet, and every
      other cell as it was; prints each difference. Exit 0 when they agree,
      1 when not, 3 when openpyxl cannot read a file (pivot tables, which
      openpyxl 3.0 cannot always read, are left out)."""
import collections
import re
import sys
import warnings

import openpyxl

warnings.simplefilter("ignore")


def load(path):
    try:
        return openpyxl.load_workbook(path)
    except Exception:
        pass
    # openpyxl 3.0 rejects some pivot table definitions Excel writes; the
    # cells are all we compare, so read the workbook without its pivots.
    import openpyxl.reader.excel as reader
    reader.TableDefinition.rel_type = "urn:korrin:no-pivot-tables"
    try:
        return openpyxl.load_workbook(path)
    except Exception as e:
        print("openpyxl cannot read %s: %s" % (path, e))
        sys.exit(3)


def shown(value):
    """A formula as the formula bar shows it: the prefix of a newer function
    is not part of it (a function renamed into an unknown one loses it)."""
    if isinstance(value, str) and value.startswith("="):
        return re.sub(r"_xlfn\.(_xlws\.)?", "", value)
    return value


def cells(ws):
    out = {}
    for row in ws.iter_rows():
        for c in row:
            if c.value is not None:
                out[c.coordinate] = c.value
    return out


if sys.argv[1] == "choose":
    # A word of four or more letters from the texts; else any letters from
    # the texts; else a name in a formula that is not a function's.
    wb = load(sys.argv[2])
    texts = [v for ws in wb.worksheets for v in cells(ws).values() if isinstance(v, str)]
    plain = [t for t in texts if not t.startswith("=")]
    formulas = [t for t in texts if t.startswith("=")]
    for pattern, pool in ((r"[A-Za-z]{4,}", plain), (r"[A-Za-z]+", plain), (r"[A-Za-z]+(?![A-Za-z(])", formulas)):
        words = collections.Counter(w for t in pool for w in re.findall(pattern, t)
                                    if w.upper() not in ("TRUE", "FALSE", "XLFN"))
        if words:
            print(sorted(words.items(), key=lambda kv: (-kv[1], kv[0]))[0][0])
            break
    sys.exit(0)

before, after = load(sys.argv[2]), load(sys.argv[3])
word, repl = sys.argv[4], sys.argv[5]
problems = []
if before.sheetnames != after.sheetnames:
    problems.append("sheet names differ")
changed = 0
for ws in before.worksheets:
    a, b = cells(ws), cells(after[ws.title])
    for ref in sorted(set(a) | set(b)):
        v = shown(a.get(ref))
        expected = v.replace(word, repl) if isinstance(v, str) else v
        if expected != v:
            changed += 1
        if shown(b.get(ref)) != expected:
            problems.append("%s!%s: expected %r, got %r" % (ws.title, ref, expected, b.get(ref)))
for p in problems[:40]:
    print(p)
print("changed cells:", changed)
sys.exit(1 if problems else 0)
