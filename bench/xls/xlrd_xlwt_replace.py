#!/usr/bin/python3
"""The same job done with xlrd and xlwt, for comparison: reads every sheet,
replaces WHAT by WITH in every text cell and writes the workbook anew (values
only: xlwt cannot carry formats, formulas or other streams over).

    xlrd_xlwt_replace.py WHAT WITH FILE...
"""
import sys

import xlrd
import xlwt


def replace(path, what, with_):
    book = xlrd.open_workbook(path)
    out = xlwt.Workbook()
    for sheet in book.sheets():
        target = out.add_sheet(sheet.name)
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_TEXT:
                    target.write(r, c, cell.value.replace(what, with_))
                elif cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    target.write(r, c, cell.value)
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    target.write(r, c, bool(cell.value))
    out.save(path)


if __name__ == '__main__':
    for p in sys.argv[3:]:
        replace(p, sys.argv[1], sys.argv[2])
