#!/usr/bin/python3
"""Builds the .xls benchmark corpus in a folder (default /tmp/korrin-bench-xls):
small/ holds COUNT copies of a small workbook, large.xls one large workbook
(60,000 rows x 8 columns, half text, half numbers). Both are written as .xlsx
with openpyxl and converted once by LibreOffice to "MS Excel 97".

    make_corpus.py [FOLDER] [COUNT]
"""
import os
import shutil
import subprocess
import sys

import openpyxl


def convert(src, outdir):
    subprocess.run(['soffice', '-env:UserInstallation=file://%s/lo-profile' % outdir, '--headless',
                    '--convert-to', 'xls:MS Excel 97', '--outdir', outdir, src],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else '/tmp/korrin-bench-xls'
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    os.makedirs(os.path.join(folder, 'small'), exist_ok=True)
    os.makedirs(os.path.join(folder, 'source'), exist_ok=True)

    wb = openpyxl.Workbook()
    for s in range(3):
        ws = wb.active if s == 0 else wb.create_sheet('Sheet%d' % (s + 1))
        for r in range(1, 31):
            ws.cell(r, 1, 'apple %d in row %d' % (s, r))
            ws.cell(r, 2, r * 1.5)
            ws.cell(r, 3, 'pear and apple' if r % 3 == 0 else 'plum')
    small = os.path.join(folder, 'source', 'small.xlsx')
    wb.save(small)
    convert(small, os.path.join(folder, 'source'))

    wb = openpyxl.Workbook(write_only=True)
    ws = wb.create_sheet('Data')
    for r in range(60000):
        ws.append(['item %d apple' % r if r % 2 else 'common apple text', r, 'text %d' % (r % 997), r * 0.25,
                   'apple-%d' % r, r % 13, 'note %d' % r, -r])
    large = os.path.join(folder, 'source', 'large.xlsx')
    wb.save(large)
    convert(large, os.path.join(folder, 'source'))
    shutil.copy(os.path.join(folder, 'source', 'large.xls'), os.path.join(folder, 'large.xls'))
    for i in range(count):
        shutil.copy(os.path.join(folder, 'source', 'small.xls'), os.path.join(folder, 'small', 'book%03d.xls' % i))


if __name__ == '__main__':
    main()
