"""The same replacement with openpyxl, for comparison: every text and
formula containing WORD (case-sensitive) gets it replaced on every sheet,
and the workbook is saved in place. Usage: openpyxl_replace.py WORD REPLACEMENT FILE..."""
import sys

import openpyxl

word, repl = sys.argv[1], sys.argv[2]
for path in sys.argv[3:]:
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        for row in ws.iter_rows():
            for c in row:
                if isinstance(c.value, str) and word in c.value:
                    c.value = c.value.replace(word, repl)
    wb.save(path)
