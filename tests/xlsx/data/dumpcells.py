"""Prints every cell of a workbook as openpyxl reads it, as JSON:
{"sheets": [names...], "active": name, "cells": {sheet: {"A1": [type, value, format]}}}.
Formulas come as their text with "=" (openpyxl works out shared formulas
on its own). Usage: dumpcells.py FILE"""
import datetime
import json
import sys
import warnings

import openpyxl

warnings.simplefilter("ignore")
wb = openpyxl.load_workbook(sys.argv[1])
result = {"sheets": wb.sheetnames, "active": wb.active.title if wb.active else None, "cells": {}}
for ws in wb.worksheets:
    cells = {}
    for row in ws.iter_rows():
        for c in row:
            if c.value is None and c.style_id == 0:
                continue
            v = c.value
            if isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
                v = v.isoformat()
            cells[c.coordinate] = [c.data_type, v, c.number_format]
    result["cells"][ws.title] = cells
print(json.dumps(result, ensure_ascii=False))
