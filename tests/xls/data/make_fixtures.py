#!/usr/bin/python3
"""Builds the .xls fixtures of the engine tests with independent tools.

Run by hand from this folder (needs openpyxl, python3-xlwt and LibreOffice);
the results are committed. Workbooks are written as .xlsx with openpyxl and
converted by LibreOffice to "MS Excel 97", or written directly with xlwt.
"""
import datetime
import os
import shutil
import subprocess
import tempfile

import openpyxl
import xlwt
from openpyxl.chart import BarChart, Reference
from openpyxl.styles import Protection

HERE = os.path.dirname(os.path.abspath(__file__))


def to_xls(book, name):
    tmp = tempfile.mkdtemp()
    src = os.path.join(tmp, name.replace('.xls', '.xlsx'))
    book.save(src)
    subprocess.run(['soffice', '-env:UserInstallation=file://%s/lo' % tmp, '--headless',
                    '--convert-to', 'xls:MS Excel 97', '--outdir', tmp, src],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.copy(os.path.join(tmp, name), os.path.join(HERE, name))
    shutil.rmtree(tmp)


def lo_basic():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Data'
    rows = [
        ['apple pie', 'Apple', 'APPLE', 'pineapple'],
        ['a?c', 'abc', 'a*c', 'x~y'],
        ['shared', 'shared', 'shared', 'tilde~'],
        [1234.5, 0.3, 7, 1e20],
        [True, False, 'TRUE', 'ID0012'],
        ['apple', 'banana', 'cherry', 'banana split'],
    ]
    for r, row in enumerate(rows, 1):
        for c, v in enumerate(row, 1):
            ws.cell(r, c, v)
    ws['A7'] = datetime.date(2024, 1, 2)
    ws['B7'] = 0.25
    ws['B7'].number_format = '0%'
    ws['C7'] = 12
    ws['C7'].number_format = '@'
    ws['D7'] = '=SUM(A4:C4)'
    ws['A8'] = '="apple"&"pie"'
    ws['A10'] = 'far'
    ws['E2'] = 'wide'
    other = wb.create_sheet('Other')
    other['A1'] = 'apple on other'
    other['B2'] = 42
    chart = wb.create_chartsheet('Chart')
    bar = BarChart()
    bar.add_data(Reference(other, min_col=2, min_row=1, max_row=2))
    chart.add_chart(bar)
    locked = wb.create_sheet('Locked')
    locked['A1'] = 'apple locked'
    locked['B1'] = 'apple open'
    locked['B1'].protection = Protection(locked=False)
    locked.protection.sheet = True
    wb.active = 1
    to_xls(wb, 'lo_basic.xls')


def lo_longsst():
    # Enough distinct strings that the shared string table runs over several
    # CONTINUE records: one-byte strings first, so that the first split falls
    # inside one-byte text, then two-byte strings for the next split.
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Long'
    for i in range(450):
        if i >= 250:
            text = '長い文字列%04d apple 漢字テキスト' % i
        else:
            text = 'long string %04d apple with padding textx' % i
        ws.cell(i + 1, 1, text)
        ws.cell(i + 1, 2, i)
    to_xls(wb, 'lo_longsst.xls')


def xlwt_basic():
    wb = xlwt.Workbook()
    ws = wb.add_sheet('First')
    ws.write(0, 0, 'apple')
    ws.write(0, 1, 'green apple')
    ws.write(1, 0, 3.25)
    ws.write(1, 1, 12)
    ws.write(2, 0, True)
    ws.write(4, 2, 'gap row')
    grey = xlwt.easyxf('pattern: pattern solid, fore_colour gray25')
    for c in range(3, 7):
        ws.write(6, c, None, grey)
    second = wb.add_sheet('Second')
    second.write(0, 0, 'apple second')
    wb.save(os.path.join(HERE, 'xlwt_basic.xls'))


def lo_formulas():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Data'
    ws['A1'] = 10
    ws['A2'] = 20
    ws['A3'] = '="Total "&SUM(A1:A2)'
    ws['A4'] = '=Other!B1*2'
    ws['A5'] = '=SUM(A1:A2)'
    for r in range(1, 6):  # a filled column, which LibreOffice stores as a shared formula
        ws.cell(row=r, column=4, value='=A%d+1' % r)
    other = wb.create_sheet('Other')
    other['B1'] = 7
    third = wb.create_sheet('Third')
    third['B1'] = 100
    to_xls(wb, 'lo_formulas.xls')


def lo_references():
    # Every form of reference: relative and absolute parts in each mix, in
    # cells, areas, whole columns and rows, on other sheets and across
    # sheets, through a defined name, and in a column that LibreOffice
    # stores as one shared formula.
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Data'
    for r in range(1, 5):
        for c in range(1, 4):
            ws.cell(r, c, r * 10 + c)
    ws['E1'] = '=A1+$A2+A$3+$A$4'
    ws['E2'] = '=SUM(A$1:$B2)'
    ws['E3'] = '=SUM($A1:B$2)'
    ws['E4'] = '=SUM($A:B)'
    ws['E5'] = '=SUM(A1:$C$2)'
    ws['E6'] = '=Other!$A1+Other!A$1'
    ws['E7'] = '=SUM(Other!A$1:$B2)'
    ws['E8'] = '=SUM(Other:Third!$A1)'
    ws['E9'] = '=SUM(Corner)*2'
    wb.defined_names.append(openpyxl.workbook.defined_name.DefinedName('Corner', attr_text='Data!$A1:B$2'))
    for r in range(1, 7):
        ws.cell(r, 7, '=$A%d*B$1+C%d' % (r, r))
    other = wb.create_sheet('Other')
    other['A1'] = 5
    other['B2'] = 6
    third = wb.create_sheet('Third')
    third['A1'] = 100
    to_xls(wb, 'lo_references.xls')


if __name__ == '__main__':
    lo_references()
    lo_formulas()
    lo_basic()
    lo_longsst()
    xlwt_basic()
