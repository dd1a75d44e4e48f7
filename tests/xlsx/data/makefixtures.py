"""Builds the workbooks the engine tests work on, with openpyxl, and where
openpyxl cannot write a structure (shared formulas, rich and phonetic
strings, a calculation chain, row styles) by rewriting its parts with
zipfile. Usage: makefixtures.py OUTDIR"""
import os
import re
import sys
import zipfile

import openpyxl
import openpyxl.chart
from openpyxl.styles import Protection

out = sys.argv[1]
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"


def path(name):
    return os.path.join(out, name)


def rewrite(name, changes, add=None, drop=()):
    """Rewrites the archive: changes maps entry name -> function(old text)
    -> new text; add maps new entry names to their text."""
    src = path(name)
    tmp = src + ".tmp"
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as zout:
        for info in zin.infolist():
            if info.filename in drop:
                continue
            data = zin.read(info.filename)
            if info.filename in changes:
                data = changes[info.filename](data.decode("utf-8")).encode("utf-8")
            zout.writestr(info, data)
        for n, text in (add or {}).items():
            zout.writestr(n, text.encode("utf-8"))
    os.replace(tmp, src)


def style_of(xml, ref):
    m = re.search(r'<c r="%s"[^>]*?\bs="(\d+)"' % ref, xml)
    return m.group(1) if m else "0"


# basic.xlsx: the replace options, values of every kind, value writes.
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Data"
texts = ["apple pie", "Apple", "pineapple", "banana", "a*b?c~d", "北京市北京", "ID0012", " spaced ", "x", "1-2"]
for i, t in enumerate(texts, 1):
    ws.cell(i, 1, t)
ws["B1"] = 1234.5
ws["B2"] = 0.1 + 0.2
ws["B3"] = 45000
ws["B3"].number_format = "yyyy-mm-dd"
ws["B4"] = 0.25
ws["B4"].number_format = "0%"
ws["B5"] = True
ws["B6"] = 12
ws["B7"] = "=SUM(B1:B2)"
ws["B8"] = 1e20
ws["C1"].number_format = "@"
ws["C2"] = "keep"
ws["C2"].number_format = "@"
ws2 = wb.create_sheet("Second")
ws2["A1"] = "apple second"
wb.save(path("basic.xlsx"))

# kinds.xlsx: a worksheet, a chart sheet, an empty worksheet (active).
wb = openpyxl.Workbook()
wb.active.title = "One"
wb.active["A1"] = "apple one"
chart = openpyxl.chart.BarChart()
chart.add_data(openpyxl.chart.Reference(wb.active, min_col=2, min_row=1, max_row=3))
wb.create_chartsheet("Chart").add_chart(chart)
wb.create_sheet("Three")
wb.active = 2
wb.save(path("kinds.xlsx"))
wb.active = 0
wb.save(path("badtab.xlsx"))
rewrite("badtab.xlsx", {"xl/workbook.xml": lambda x: re.sub(r'activeTab="\d+"', 'activeTab="7"', x)})

# protected.xlsx: a protected sheet with one unlocked cell.
wb = openpyxl.Workbook()
ws = wb.active
ws["A1"] = "apple locked"
ws["A2"] = "apple open"
ws["A2"].protection = Protection(locked=False)
ws.protection.sheet = True
wb.save(path("protected.xlsx"))

def with_shared_strings(name, sheets, sst):
    """Rewrites the archive with the given sheet parts (entry name -> text)
    and a shared-strings part, related and typed."""
    changes = {n: (lambda text: lambda x: text)(text) for n, text in sheets.items()}
    changes["[Content_Types].xml"] = lambda x: x.replace(
        "</Types>", '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-'
                    'officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
    changes["xl/_rels/workbook.xml.rels"] = lambda x: x.replace(
        "</Relationships>", '<Relationship Id="rIdS" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                            'relationships/sharedStrings" Target="sharedStrings.xml"/></Relationships>')
    rewrite(name, changes, add={"xl/sharedStrings.xml": sst})


# rows.xlsx: many rows of shared strings, numbers and booleans, one sheet
# sharing its strings with another; texts that two replaces turn into the
# same new text lie far apart, the later replace's one first.
wb = openpyxl.Workbook()
wb.active.title = "Rows"
wb.create_sheet("Other")
wb.save(path("rows.xlsx"))
texts = ["row %d alpha" % k for k in range(17)] + ["yy", "xx"] + ["beta %d" % j for j in range(5)]
cells = []
for r in range(1, 121):
    a = 17 if r == 2 else 18 if r == 100 else r % 17
    cells.append('<row r="%d"><c r="A%d" t="s"><v>%d</v></c><c r="B%d"><v>%d</v></c>'
                 '<c r="C%d" t="b"><v>%d</v></c><c r="D%d" t="s"><v>%d</v></c></row>'
                 % (r, r, a, r, r * 10, r, r % 3 == 0, r, 19 + r % 5))
sheet = '<?xml version="1.0" encoding="UTF-8"?>\n<worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>'
other = sheet % (MAIN, '<row r="1"><c r="A1" t="s"><v>1</v></c></row>')
sst = ('<?xml version="1.0" encoding="UTF-8"?>\n<sst xmlns="%s" count="241" uniqueCount="%d">%s</sst>'
       % (MAIN, len(texts), "".join("<si><t>%s</t></si>" % t for t in texts)))
with_shared_strings("rows.xlsx", {"xl/worksheets/sheet1.xml": sheet % (MAIN, "".join(cells)),
                                  "xl/worksheets/sheet2.xml": other}, sst)

# rich.xlsx: shared strings with runs and phonetic runs, written by hand.
wb = openpyxl.Workbook()
ws = wb.active
ws["A1"] = "placeholder"
wb.save(path("rich.xlsx"))
sst = ('<?xml version="1.0" encoding="UTF-8"?>\n<sst xmlns="%s" count="6" uniqueCount="4">'
       '<si><t>hello world</t></si>'
       '<si><r><rPr><b/><sz val="11"/></rPr><t>Red</t></r><r><rPr><i/></rPr><t xml:space="preserve">Text tail</t></r></si>'
       '<si><t>東京都</t><rPh sb="0" eb="2"><t>トウキョウ</t></rPh><phoneticPr fontId="0" type="noConversion"/></si>'
       '<si><t>see _x005F_x0041_ and _x0042_</t></si>'
       '</sst>') % MAIN
sheet = ('<?xml version="1.0" encoding="UTF-8"?>\n<worksheet xmlns="%s"><dimension ref="A1:A6"/><sheetData>'
         '<row r="1"><c r="A1" t="s"><v>0</v></c></row>'
         '<row r="2"><c r="A2" t="s"><v>1</v></c></row>'
         '<row r="3"><c r="A3" t="s"><v>2</v></c></row>'
         '<row r="4"><c r="A4" t="s"><v>0</v></c></row>'
         '<row r="5"><c r="A5" t="s"><v>3</v></c></row>'
         '<row r="6"><c r="A6" t="s"><v>0</v></c></row>'
         '</sheetData></worksheet>') % MAIN
with_shared_strings("rich.xlsx", {"xl/worksheets/sheet1.xml": sheet}, sst)

# shared2.xlsx: two sheets naming the same shared strings; entries 0 and 2
# have the same text.
wb = openpyxl.Workbook()
wb.active["A1"] = 1
wb.create_sheet("Other")["A1"] = 1
wb.save(path("shared2.xlsx"))
sst = ('<?xml version="1.0" encoding="UTF-8"?>\n<sst xmlns="%s" count="6" uniqueCount="4">'
       '<si><t>alpha one</t></si><si><t>alpha two</t></si><si><t>alpha one</t></si><si><t>keep</t></si>'
       '</sst>') % MAIN
cells = lambda refs: ('<?xml version="1.0" encoding="UTF-8"?>\n<worksheet xmlns="%s"><sheetData>%s</sheetData>'
                      '</worksheet>') % (MAIN, "".join('<row r="%d"><c r="A%d" t="s"><v>%d</v></c></row>' % (
                          r + 1, r + 1, v) for r, v in enumerate(refs)))
with_shared_strings("shared2.xlsx", {"xl/worksheets/sheet1.xml": cells([0, 1, 2, 0]),
                                     "xl/worksheets/sheet2.xml": cells([1, 3])}, sst)

# formulas.xlsx: a shared formula group, an array formula, a calc chain,
# references that only look like functions or numbers.
wb = openpyxl.Workbook()
ws = wb.active
ws["A1"] = 1
wb.save(path("formulas.xlsx"))
cells = "".join('<row r="%d"><c r="A%d"><v>%d</v></c>%s</row>' % (
    r, r, r,
    ('<c r="B1"><f t="shared" ref="B1:B4" si="0">A1*2+$A$1</f><v>3</v></c>'
     '<c r="C1"><f>SUM(A1:A5)</f><v>15</v></c>'
     '<c r="D1"><f t="array" ref="D1:D2">A1:A2*10</f><v>10</v></c>'
     '<c r="E1"><f>LOG10(A1)+1E5+A1</f><v>100001</v></c>') if r == 1 else
    ('<c r="B%d"><f t="shared" si="0"/><v>%d</v></c>' % (r, 2 * r + 1) if r <= 4 else '')
    + ('<c r="D2"><v>20</v></c>' if r == 2 else '')) for r in range(1, 6))
sheet = ('<?xml version="1.0" encoding="UTF-8"?>\n<worksheet xmlns="%s"><dimension ref="A1:E5"/>'
         '<sheetData>%s</sheetData></worksheet>') % (MAIN, cells)
chain = ('<?xml version="1.0" encoding="UTF-8"?>\n<calcChain xmlns="%s"><c r="B1" i="1"/><c r="B2"/><c r="B3"/>'
         '<c r="B4"/><c r="C1"/><c r="D1"/><c r="E1"/></calcChain>') % MAIN
rewrite("formulas.xlsx", {
    "xl/worksheets/sheet1.xml": lambda x: sheet,
    "xl/workbook.xml": lambda x: x.replace(' fullCalcOnLoad="1"', ""),
    "[Content_Types].xml": lambda x: x.replace(
        "</Types>", '<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-'
                    'officedocument.spreadsheetml.calcChain+xml"/></Types>'),
    "xl/_rels/workbook.xml.rels": lambda x: x.replace(
        "</Relationships>", '<Relationship Id="rIdC" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                            'relationships/calcChain" Target="calcChain.xml"/></Relationships>'),
}, add={"xl/calcChain.xml": chain})

# layout.xlsx: a row style, a column style, a self-closing row, spans, for
# cells written where none were; prefixed SpreadsheetML elements.
wb = openpyxl.Workbook()
ws = wb.active
ws["Z1"] = 1
ws["Z1"].number_format = "0.000"
ws["Z2"] = 2
ws["Z2"].number_format = "@"
wb.save(path("layout.xlsx"))
with zipfile.ZipFile(path("layout.xlsx")) as z:
    xml = z.read("xl/worksheets/sheet1.xml").decode()
row_style, col_style = style_of(xml, "Z1"), style_of(xml, "Z2")
sheet = ('<?xml version="1.0" encoding="UTF-8"?>\n<x:worksheet xmlns:x="%s"><x:dimension ref="B2:D5"/>'
         '<x:cols><x:col min="5" max="6" width="9" style="%s" customWidth="1"/></x:cols><x:sheetData>'
         '<x:row r="2" spans="2:4"><x:c r="B2" t="inlineStr"><x:is><x:t>two</x:t></x:is></x:c>'
         '<x:c r="D2"><x:v>4</x:v></x:c></x:row>'
         '<x:row r="3" spans="2:2" s="%s" customFormat="1"><x:c r="B3"><x:v>3</x:v></x:c></x:row>'
         '<x:row r="5" spans="2:2"/>'
         '</x:sheetData></x:worksheet>') % (MAIN, col_style, row_style)
rewrite("layout.xlsx", {"xl/worksheets/sheet1.xml": lambda x: sheet})

# nosheetdata.xlsx: a worksheet without the sheetData element (schema says it
# must have one; some writers leave it out).
wb = openpyxl.Workbook()
wb.save(path("nosheetdata.xlsx"))
rewrite("nosheetdata.xlsx", {"xl/worksheets/sheet1.xml": lambda x: re.sub(r"<sheetData\s*/>|<sheetData>.*?</sheetData>", "", x)})

# nocalcpr.xlsx: a workbook part without calcPr; a row with several spans.
wb = openpyxl.Workbook()
wb.active["A1"] = "apple"
wb.active["C1"] = 3
wb.save(path("nocalcpr.xlsx"))
rewrite("nocalcpr.xlsx", {
    "xl/workbook.xml": lambda x: re.sub(r"<calcPr[^>]*/>", "", x),
    "xl/worksheets/sheet1.xml": lambda x: x.replace('<row r="1">', '<row r="1" spans\r\n=\r\n"1:1 3:3">'),
})

# sheetkinds.xlsx: a worksheet, a dialog sheet and an Excel 4 macro sheet.
wb = openpyxl.Workbook()
wb.active.title = "Work"
wb.active["A1"] = "apple work"
wb.save(path("sheetkinds.xlsx"))
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
dialog = '<?xml version="1.0"?><dialogsheet xmlns="%s"><sheetPr/><pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" footer="0.3"/></dialogsheet>' % MAIN
macro = ('<?xml version="1.0"?><xm:macrosheet xmlns="%s" xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main">'
         '<sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>apple macro</t></is></c></row></sheetData></xm:macrosheet>') % MAIN
rewrite("sheetkinds.xlsx", {
    "xl/workbook.xml": lambda x: x.replace("</sheets>", '<sheet name="Dialog" sheetId="2" r:id="rIdD" xmlns:r="%s"/>'
                                                      '<sheet name="Macro" sheetId="3" r:id="rIdM" xmlns:r="%s"/></sheets>' % (REL, REL)),
    "xl/_rels/workbook.xml.rels": lambda x: x.replace(
        "</Relationships>", '<Relationship Id="rIdD" Type="%s/dialogsheet" Target="dialogsheets/sheet1.xml"/>'
                            '<Relationship Id="rIdM" Type="http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet"'
                            ' Target="macrosheets/sheet1.xml"/></Relationships>' % REL),
    "[Content_Types].xml": lambda x: x.replace(
        "</Types>", '<Override PartName="/xl/dialogsheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.dialogsheet+xml"/>'
                    '<Override PartName="/xl/macrosheets/sheet1.xml" ContentType="application/vnd.ms-excel.macrosheet+xml"/></Types>'),
}, add={"xl/dialogsheets/sheet1.xml": dialog, "xl/macrosheets/sheet1.xml": macro})

# oddcell.xlsx: a cell with an element of another namespace before its value.
wb = openpyxl.Workbook()
wb.active["B2"] = 7
wb.save(path("oddcell.xlsx"))
rewrite("oddcell.xlsx", {"xl/worksheets/sheet1.xml": lambda x: re.sub(
    r'<c r="B2"([^>]*)><v>7</v></c>', r'<c r="B2"\1><o:note xmlns:o="urn:example:note"/><v>7</v></c>', x)})
