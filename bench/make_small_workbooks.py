"""Writes the benchmark's small workbooks: COUNT files of three sheets of
40 x 6 cells (texts, numbers, a formula column), half as openpyxl writes
them (inline strings) and half as LibreOffice saves them (shared strings).
Usage: make_small_workbooks.py OUTDIR COUNT"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

import openpyxl

out, count = sys.argv[1], int(sys.argv[2])
os.makedirs(out, exist_ok=True)
random.seed(7)
words = ["alpha", "beta", "gamma", "delta", "north", "south", "total", "name"]
templates = []
tmp = tempfile.mkdtemp()
for t in range(10):
    wb = openpyxl.Workbook()
    for s in range(3):
        ws = wb.active if s == 0 else wb.create_sheet()
        ws.title = "Sheet%d" % (s + 1)
        for r in range(1, 41):
            for c in range(1, 5):
                ws.cell(r, c, "%s %s %d" % (random.choice(words), random.choice(words), r))
            ws.cell(r, 5, random.random() * 1000)
            ws.cell(r, 6, "=E%d*2" % r)
    p = os.path.join(tmp, "template%d.xlsx" % t)
    wb.save(p)
    templates.append(p)
lo = os.path.join(tmp, "lo")
subprocess.run(["soffice", "-env:UserInstallation=file://" + os.path.join(tmp, "profile"), "--headless",
                "--convert-to", "xlsx", "--outdir", lo] + templates[5:], check=True, capture_output=True)
sources = templates[:5] + [os.path.join(lo, os.path.basename(p)) for p in templates[5:]]
for i in range(count):
    shutil.copy(sources[i % len(sources)], os.path.join(out, "book%04d.xlsx" % i))
shutil.rmtree(tmp)
