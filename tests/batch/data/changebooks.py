"""Workbooks for the tests of the record of changes, and the independent
check of a record: the cell-by-cell difference of every workbook before and
after a run, read with openpyxl (.xlsx) and xlrd (.xls; the formulas of an
.xls as LibreOffice read them, from its .xlsx copy).

  changebooks.py make DIR              the workbooks of openpyxl and xlwt
  changebooks.py list1 LIST PAIRS FILES...   a Mode 1 list file (PAIRS: k=v;k=v)
  changebooks.py list2 LIST KEY VALUES FILES...  a Mode 2 list file
  changebooks.py check CASES LO        for every CASES/<case>: before/, after/
                                       and record.jsonl; LO holds the .xlsx
                                       copies of the .xls files, named
                                       <case>.<before|after>.<name>.xlsx
"""
import json
import os
import sys


def make(out):
    import openpyxl
    import xlwt
    os.makedirs(out, exist_ok=True)
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Data"
    rows = [
        ["alpha beta", 3.5, True, "Alpha upper"],
        ["alpha", 12, 'alpha, "quoted"\nline two', None],
        ["alpha", "=SUM(B1:B2)", '="alpha"&A4', None],
        ["no match", "=B1*2", 0.1, "alpha"],
    ]
    for r, row in enumerate(rows, 1):
        for c, v in enumerate(row, 1):
            if v is not None:
                ws.cell(r, c, v)
    two = wb.create_sheet("两")
    two["A1"] = "alpha 中文"
    two["A2"] = "alpha"
    two["B1"] = 3.5
    two["B2"] = "=SUM(B1,1)"
    wb.save(os.path.join(out, "opx.xlsx"))

    book = xlwt.Workbook()
    x = book.add_sheet("X")
    x.write(0, 0, "alpha one")
    x.write(1, 1, "alpha")
    x.write(2, 0, 12.5)
    x.write(2, 1, 3.5)
    x.write(0, 2, xlwt.Formula("SUM(A3,B3)"))
    x.write(1, 2, True)
    y = book.add_sheet("Y")
    y.write(0, 0, "alpha")
    y.write(1, 0, "beta alpha")
    book.save(os.path.join(out, "xlwt.xls"))


def list1(path, pairs, files):
    import openpyxl
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Tarvo方式一_文件列表"
    for i, f in enumerate(files, 1):
        ws.cell(i, 1, f)
    k = wb.create_sheet("Tarvo方式一_关键字列表")
    k["A1"] = "被替换关键字:"
    k["B1"] = "欲替换为:"
    for i, pair in enumerate(pairs.split(";"), 2):
        key, value = pair.split("=", 1)
        k.cell(i, 1, key)
        k.cell(i, 2, value)
    wb.save(path)


def list2(path, key, values, files):
    import openpyxl
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Tarvo方式二_替换文件列表"
    ws["A1"] = "关键字或位置"
    ws["A2"] = key
    for i, (f, v) in enumerate(zip(files, values.split(";")), 2):
        ws.cell(1, i, f)
        ws.cell(2, i, v)
    wb.save(path)


def number_text(v):
    """A number as the formula bar shows it (for the plain numbers used here)."""
    if float(v).is_integer() and abs(v) < 1e15:
        return str(int(v))
    return "%.15g" % v


def shown(v):
    if v is None:
        return ""
    if isinstance(v, bool):
        return "TRUE" if v else "FALSE"
    if isinstance(v, (int, float)):
        return number_text(v)
    return str(v)


def xlsx_cells(path):
    import openpyxl
    wb = openpyxl.load_workbook(path)
    out = {}
    for ws in wb.worksheets:
        for row in ws.iter_rows():
            for c in row:
                text = shown(c.value)
                if text:
                    out[(ws.title, c.coordinate)] = text
    return out


def xls_cells(path, converted):
    import xlrd
    import openpyxl
    from openpyxl.utils import get_column_letter
    formulas = {}
    if os.path.exists(converted):
        for ws in openpyxl.load_workbook(converted).worksheets:
            for row in ws.iter_rows():
                for c in row:
                    if c.data_type == "f":
                        formulas[(ws.title, c.coordinate)] = c.value
    book = xlrd.open_workbook(path)
    out = {}
    for s in book.sheets():
        for r in range(s.nrows):
            for col in range(s.ncols):
                where = (s.name, "%s%d" % (get_column_letter(col + 1), r + 1))
                cell = s.cell(r, col)
                # LibreOffice gives a boolean constant as the formula TRUE().
                if where in formulas and not (cell.ctype == xlrd.XL_CELL_BOOLEAN
                                              and formulas[where] in ("=TRUE()", "=FALSE()")):
                    text = formulas[where]
                elif cell.ctype == xlrd.XL_CELL_TEXT:
                    text = cell.value
                elif cell.ctype == xlrd.XL_CELL_NUMBER:
                    text = number_text(cell.value)
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    text = "TRUE" if cell.value else "FALSE"
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    text = xlrd.error_text_from_code[cell.value]
                else:
                    text = ""
                if text:
                    out[where] = text
    return out


def cells(case, side, folder, name, lo):
    path = os.path.join(folder, side, name)
    if name.endswith(".xls"):
        return xls_cells(path, os.path.join(lo, "%s.%s.%s" % (case, side, name[:-4] + ".xlsx")))
    return xlsx_cells(path)


def check(cases, lo):
    problems = 0
    total = 0
    for case in sorted(os.listdir(cases)):
        folder = os.path.join(cases, case)
        record = set()
        with open(os.path.join(folder, "record.jsonl"), encoding="utf-8") as f:
            for line in f:
                o = json.loads(line)
                record.add((os.path.basename(o["file"]), o["sheet"], o["cell"], o["before"], o["after"]))
        seen = set()
        for name in sorted(os.listdir(os.path.join(folder, "before"))):
            if not name.endswith((".xlsx", ".xls")):
                continue
            before = cells(case, "before", folder, name, lo)
            after = cells(case, "after", folder, name, lo)
            for where in sorted(set(before) | set(after)):
                b, a = before.get(where, ""), after.get(where, "")
                if b != a:
                    seen.add((name, where[0], where[1], b, a))
        total += len(record)
        for row in sorted(record - seen):
            print("%s: in the record, not in the workbooks: %r" % (case, row))
            problems += 1
        for row in sorted(seen - record):
            print("%s: in the workbooks, not in the record: %r" % (case, row))
            problems += 1
        if not record:
            print("%s: the record is empty" % case)
            problems += 1
    print("%d rows checked, %d problems" % (total, problems))
    return 1 if problems else 0


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "make":
        make(args[0])
    elif command == "list1":
        list1(args[0], args[1], args[2:])
    elif command == "list2":
        list2(args[0], args[1], args[2], args[3:])
    elif command == "check":
        sys.exit(check(args[0], args[1]))
