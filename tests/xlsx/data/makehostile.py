"""Builds damaged and hostile workbooks from a sound one, for the tests
that each must fail without touching the file.
Usage: makehostile.py OUTDIR BASE.xlsx"""
import io
import os
import struct
import sys
import warnings
import zipfile
import zlib

out, base = sys.argv[1], sys.argv[2]
good = open(base, "rb").read()
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"


def save(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def entries():
    with zipfile.ZipFile(base) as z:
        return [(i, z.read(i.filename)) for i in z.infolist()]


def package(changes=None, extra=(), drop=()):
    """The base package with entries replaced (name -> bytes), added or dropped."""
    changes = changes or {}
    b = io.BytesIO()
    with zipfile.ZipFile(b, "w", zipfile.ZIP_DEFLATED) as z:
        for info, data in entries():
            if info.filename in drop:
                continue
            z.writestr(info.filename, changes.get(info.filename, data))
        for name, data in extra:
            z.writestr(name, data)
    return bytearray(b.getvalue())


def sheet():
    return dict((i.filename, d) for i, d in entries())["xl/worksheets/sheet1.xml"].decode()


def central_records(data):
    e = data.rfind(b"PK\x05\x06")
    n, cdoff = struct.unpack("<H", data[e + 10:e + 12])[0], struct.unpack("<I", data[e + 16:e + 20])[0]
    recs, p = {}, cdoff
    for _ in range(n):
        nl, el, cl = struct.unpack("<HHH", data[p + 28:p + 34])
        recs[bytes(data[p + 46:p + 46 + nl]).decode()] = p
        p += 46 + nl + el + cl
    return recs


save("notworkbook.xlsx", b"Name,Value\nalpha,1\n" * 20)
save("truncated.xlsx", good[: len(good) * 2 // 3])
d = bytearray(good)
cd = d.rfind(b"PK\x01\x02")
for i in range(cd - 400, cd - 100, 7):
    d[i] ^= 0xA5
save("corrupt.xlsx", d)
warnings.simplefilter("ignore")  # zipfile warns about the duplicate name
save("duplicate.xlsx", package(extra=[("XL/Worksheets/Sheet1.xml", sheet().encode())]))

# A compound file holding EncryptionInfo and EncryptedPackage, as Office
# writes a password-protected workbook (contents are only filler here).
SECT = 512
END, FREE, FATSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD
header = struct.pack("<8s16sHHHHH6sIIIIIIIII", b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", bytes(16), 0x3E, 3, 0xFFFE,
                     9, 6, bytes(6), 0, 1, 1, 0, 4096, END, 0, END, 0)
header += struct.pack("<I", 0) + struct.pack("<I", FREE) * 108
fat = [FATSECT, END] + list(range(3, 10)) + [END] + list(range(11, 18)) + [END]
fat += [FREE] * (128 - len(fat))


def dirent(name, kind, child=FREE, right=FREE, start=END, size=0):
    n = (name + "\0").encode("utf-16-le") if name else b""
    return struct.pack("<64sHBBIII16sIQQIII", n, len(n), kind, 1, FREE, right, child, bytes(16), 0, 0, 0, start, size, 0)


directory = (dirent("Root Entry", 5, child=1) + dirent("EncryptionInfo", 2, right=2, start=2, size=4096)
             + dirent("EncryptedPackage", 2, start=10, size=4096) + dirent("", 0))
cfb = header + struct.pack("<128I", *fat) + directory + b"\x04\x00\x04\x00" + bytes(4092) + bytes(4096)
assert len(cfb) == SECT * 19
save("encrypted.xlsx", cfb)

# A binary workbook (.xlsb) package.
types = ('<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
         '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
         '<Override PartName="/xl/workbook.bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/>'
         '</Types>')
rels = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument"'
        ' Target="xl/workbook.bin"/></Relationships>')
b = io.BytesIO()
with zipfile.ZipFile(b, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", types)
    z.writestr("_rels/.rels", rels)
    z.writestr("xl/workbook.bin", bytes(range(256)) * 8)
save("xlsb.xlsx", b.getvalue())

# Zip bombs: a sheet inflating a thousand times its size, and one whose
# sizes claim three gigabytes.
row = '<row r="1"><c r="A1"><v>1</v></c></row>'
filler = ('<?xml version="1.0"?><worksheet xmlns="%s"><sheetData>' % MAIN) + row * ((64 << 20) // len(row))
b = io.BytesIO()
with zipfile.ZipFile(b, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for info, data in entries():
        z.writestr(info.filename, filler.encode() if info.filename == "xl/worksheets/sheet1.xml" else data)
save("bomb-ratio.xlsx", b.getvalue())
d = package()
rec = central_records(d)["xl/worksheets/sheet1.xml"]
lho = struct.unpack("<I", d[rec + 42:rec + 46])[0]
struct.pack_into("<I", d, rec + 24, 3 << 30)
struct.pack_into("<I", d, lho + 22, 3 << 30)
save("bomb-declared.xlsx", d)

# An entry marked encrypted.
d = package()
rec = central_records(d)["xl/worksheets/sheet1.xml"]
lho = struct.unpack("<I", d[rec + 42:rec + 46])[0]
d[rec + 8] |= 1
d[lho + 6] |= 1
save("encrypted-entry.xlsx", d)

s = sheet()
laughs = ('<!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">'
          '<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">]>')
save("dtd-sheet.xlsx", package({"xl/worksheets/sheet1.xml": s.replace("<worksheet", laughs + "<worksheet", 1).encode()}))
wbxml = dict((i.filename, d) for i, d in entries())["xl/workbook.xml"].decode()
save("xxe-workbook.xlsx", package({"xl/workbook.xml": ('<?xml version="1.0"?><!DOCTYPE workbook SYSTEM "file:///etc/passwd">'
                                                      + wbxml.split("?>", 1)[-1]).encode()}))
save("entity.xlsx", package({"xl/worksheets/sheet1.xml": s.replace("apple pie", "apple &xxe;").encode()}))
deep = ('<?xml version="1.0"?><worksheet xmlns="%s"><sheetData><row r="1"><c r="A1"><is><r>' % MAIN) + "<x>" * 100000
save("deep.xlsx", package({"xl/worksheets/sheet1.xml": deep.encode()}))
save("utf16.xlsx", package({"xl/worksheets/sheet1.xml": s.replace('encoding="UTF-8"', 'encoding="UTF-16"').encode("utf-16")}))
save("badutf8.xlsx", package({"xl/worksheets/sheet1.xml": s.encode().replace(b"banana", b"ban\xff\xfena")}))
save("mixed.xlsx", package({"xl/worksheets/sheet1.xml": s.replace(MAIN, "http://purl.oclc.org/ooxml/spreadsheetml/main").encode()}))
save("missing-sheet.xlsx", package(drop=("xl/worksheets/sheet1.xml",)))
save("cell-outside-row.xlsx", package({"xl/worksheets/sheet1.xml": s.replace('<c r="A2"', '<c r="A7"', 1).encode()}))
save("row-past-grid.xlsx", package({"xl/worksheets/sheet1.xml": s.replace('<row r="2"', '<row r="2000000"', 1).encode()}))
save("bad-string-index.xlsx", package({"xl/worksheets/sheet1.xml": s.replace(
    '<c r="A1" t="inlineStr"><is><t>apple pie</t></is></c>', '<c r="A1" t="s"><v>99</v></c>').encode()}))
save("two-values.xlsx", package({"xl/worksheets/sheet1.xml": s.replace('<v>1234.5</v>', '<v>1234.5</v><v>1</v>').encode()}))
