#!/usr/bin/python3
"""Prints the formulas of an .xlsx file and the values stored with them as JSON:
{"Sheet": {"A1": ["=SUM(B1:B2)", 3]}}. Array formulas give the text of their
first cell."""
import json
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1])
values = openpyxl.load_workbook(sys.argv[1], data_only=True)
out = {}
for ws in book.worksheets:
    cells = {}
    for row in ws.iter_rows():
        for c in row:
            v = c.value
            if hasattr(v, 'text'):  # an array formula
                v = v.text
            if isinstance(v, str) and v.startswith('=') and c.data_type == 'f':
                cells[c.coordinate] = [v, values[ws.title][c.coordinate].value]
    out[ws.title] = cells
print(json.dumps(out, default=str))
