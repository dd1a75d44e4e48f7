"""Builds zip archives for the zip reader and writer tests, good and bad,
with Python's own zipfile module and by patching bytes where zipfile
would refuse to write the damage. Usage: makezips.py OUTDIR"""
import io
import os
import struct
import sys
import zipfile
import zlib

out = sys.argv[1]


def save(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def archive(entries, **kw):
    b = io.BytesIO()
    with zipfile.ZipFile(b, "w", **kw) as z:
        for name, data, method in entries:
            z.writestr(zipfile.ZipInfo(name, (2020, 5, 17, 10, 30, 0)), data, compress_type=method)
    return bytearray(b.getvalue())


D, S = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
plain = [("a.xml", b"<a>" + b"x" * 5000 + b"</a>", D), ("b.bin", bytes(range(256)) * 4, S), ("c/d.xml", b"<d/>", D)]
good = archive(plain)
save("good.zip", good)

# ZIP64 extras in every local and central record.
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    for name, data, method in plain:
        with z.open(zipfile.ZipInfo(name, (2020, 5, 17, 10, 30, 0)), "w", force_zip64=True) as f:
            f.write(data)
save("zip64.zip", b.getvalue())

# A comment after the end record.
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    z.comment = b"kept comment"
    for name, data, method in plain:
        z.writestr(name, data, compress_type=method)
save("comment.zip", b.getvalue())

save("notzip.zip", b"PK\x03\x04 this is just text pretending to be a zip archive" * 3)
save("truncated.zip", good[: len(good) // 2])
save("tailcut.zip", good[:-7])


def central(data):
    """(offset of the central directory, list of record offsets)"""
    e = data.rfind(b"PK\x05\x06")
    n, cdoff = struct.unpack("<H", data[e + 10 : e + 12])[0], struct.unpack("<I", data[e + 16 : e + 20])[0]
    recs, p = [], cdoff
    for _ in range(n):
        recs.append(p)
        nl, el, cl = struct.unpack("<HHH", data[p + 28 : p + 34])
        p += 46 + nl + el + cl
    return cdoff, recs


def local_offset(data, rec):
    return struct.unpack("<I", data[rec + 42 : rec + 46])[0]


# Entry 0 marked encrypted in both headers.
d = bytearray(good)
_, recs = central(d)
d[8] |= 1
d[recs[0] + 8] |= 1
save("encrypted.zip", d)

save("bzip2.zip", archive([("a.xml", b"<a/>" * 100, zipfile.ZIP_BZIP2)]))
save("duplicate.zip", archive([("xl/Sheet.xml", b"<a/>", D), ("XL/sheet.XML", b"<b/>", D)]))

# A stored entry whose data no longer matches its CRC.
d = bytearray(good)
_, recs = central(d)
lo = local_offset(d, recs[1])
nl, el = struct.unpack("<HH", d[lo + 26 : lo + 30])
d[lo + 30 + nl + el + 10] ^= 0xFF
save("badcrc.zip", d)

# A deflated entry whose sizes claim less than it inflates to.
d = bytearray(good)
_, recs = central(d)
lo = local_offset(d, recs[0])
struct.pack_into("<I", d, lo + 22, 100)
struct.pack_into("<I", d, recs[0] + 24, 100)
save("liar.zip", d)

# ... and one whose sizes claim more.
d = bytearray(good)
_, recs = central(d)
lo = local_offset(d, recs[0])
struct.pack_into("<I", d, lo + 22, 100000)
struct.pack_into("<I", d, recs[0] + 24, 100000)
save("shortliar.zip", d)

# The local header disagrees with the central record about the name.
d = bytearray(good)
_, recs = central(d)
lo = local_offset(d, recs[2])
d[lo + 30] = ord("X")
save("localname.zip", d)

# Sixty-four megabytes of zeros: a small zip bomb.
bomb = archive([("xl/worksheets/sheet1.xml", bytes(64 << 20), D)])
save("bomb.zip", bomb)

# Two central records whose data overlap: the second entry's local header
# lies inside the first entry's (stored) data.
inner_name = b"b.xml"
inner_data = b"<b/>"
inner = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, zlib.crc32(inner_data), len(inner_data),
                    len(inner_data), len(inner_name), 0) + inner_name + inner_data
outer_name = b"a.xml"
outer_data = b"<a>" + inner + b"</a>"
outer = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, zlib.crc32(outer_data), len(outer_data),
                    len(outer_data), len(outer_name), 0) + outer_name + outer_data


def crec(name, data, offset):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0, zlib.crc32(data), len(data), len(data),
                       len(name), 0, 0, 0, 0, 0, offset) + name


cd = crec(outer_name, outer_data, 0) + crec(inner_name, inner_data, 30 + len(outer_name) + 3)
eocd = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(cd), len(outer), 0)
save("overlap.zip", outer + cd + eocd)

# More entries than a plain end record can count: ZIP64 end records.
b = io.BytesIO()
with zipfile.ZipFile(b, "w", zipfile.ZIP_STORED) as z:
    for i in range(70000):
        z.writestr("e/%05d" % i, b"x")
save("many.zip", b.getvalue())
