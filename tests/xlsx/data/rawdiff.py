"""Compares two zip archives entry by entry on their raw bytes (local
header, compressed data and data descriptor, as stored) and prints the
names that differ, are missing or are new, one per line, sorted. Also
checks both archives' CRCs. Usage: rawdiff.py BEFORE AFTER"""
import sys
import zipfile


def spans(path):
    data = open(path, "rb").read()
    with zipfile.ZipFile(path) as z:
        assert z.testzip() is None
        infos = sorted(z.infolist(), key=lambda i: i.header_offset)
        cd = data.rfind(b"PK\x01\x02", 0, len(data))
        ends = [i.header_offset for i in infos[1:]]
        start_cd = min([data.find(b"PK\x01\x02", infos[-1].header_offset + 30)] if infos else [len(data)])
        ends.append(start_cd)
        return {i.filename: data[i.header_offset:e] for i, e in zip(infos, ends)}


a, b = spans(sys.argv[1]), spans(sys.argv[2])
for name in sorted(set(a) | set(b)):
    if a.get(name) != b.get(name):
        print(name)
