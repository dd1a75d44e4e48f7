#!/usr/bin/python3
"""Builds the .xls fixtures of files that readers open although they bend the
format, each with a damaged twin that must still be refused:

  book_stream.xls     an Excel 97 workbook in a stream named BOOK
                      (twin: the same stream with an Excel 5 BOF)
  cell_twice.xls      cell A1 stored twice, first "apple", then "pear"
                      (twin: the second record cut short)
  long_string.xls     a shared string of 40000 characters
                      (twin: the string's last CONTINUE record missing)
  short_ministream.xls  a mini stream whose chain ends before the size its
                      root entry gives, every stream in it whole (twin: the
                      chain ends inside a stream)

Run by hand from this folder (needs python3-xlwt); the results are
committed. The workbook streams start from xlwt's and are rewritten record
by record here; the compound files are written by the small writer below,
with two property-set streams beside the workbook so that a test can see
that they are kept byte for byte.
"""
import os
import struct

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
BOF, EOF, BOUNDSHEET, SST, CONTINUE, LABELSST, ROW = 0x0809, 0x000A, 0x0085, 0x00FC, 0x003C, 0x00FD, 0x0208
MAX_DATA = 8224
FREE, END, FATSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD


def xlwt_stream(cells):
    """The Workbook stream xlwt writes for one sheet 'Data' with these
    (row, col, text) cells."""
    wb = xlwt.Workbook()
    ws = wb.add_sheet('Data')
    for r, c, t in cells:
        ws.write(r, c, t)
    return wb.get_biff_data()


def split_records(stream):
    """The records up to the last substream's EOF, and the bytes after it."""
    out, pos, depth, substreams = [], 0, 0, 0
    while pos + 4 <= len(stream):
        t, n = struct.unpack_from('<HH', stream, pos)
        out.append([t, stream[pos + 4:pos + 4 + n]])
        pos += 4 + n
        if t == BOF:
            depth += 1
        elif t == EOF:
            depth -= 1
            if depth == 0:
                substreams += 1
                if substreams == 2:  # globals and the one sheet
                    break
    return out, stream[pos:]


def join_records(records, tail):
    """The stream again, each BOUNDSHEET pointing at its sheet's BOF."""
    def render():
        return b''.join(struct.pack('<HH', t, len(d)) + d for t, d in records)
    bofs = []
    pos = 0
    for t, d in records:
        if t == BOF:
            bofs.append(pos)
        pos += 4 + len(d)
    k = 1
    for rec in records:
        if rec[0] == BOUNDSHEET:
            rec[1] = struct.pack('<I', bofs[k]) + rec[1][4:]
            k += 1
    data = render() + tail
    return data + b'\0' * max(0, 4096 - len(data))  # stays out of the mini stream


def sst_records(strings, references):
    """SST and CONTINUE records for these one-byte strings, split as BIFF8
    splits them: a string's header stays in one record, its characters go
    on in the next one after a flag byte."""
    records, cur = [], struct.pack('<II', references, len(strings))
    for s in strings:
        raw = s.encode('latin-1')
        if MAX_DATA - len(cur) < 4:
            records.append(cur)
            cur = b''
        cur += struct.pack('<HB', len(raw), 0)
        while raw:
            room = MAX_DATA - len(cur)
            if room == 0:
                records.append(cur)
                cur = b'\0'  # the flag byte of the characters that go on
                continue
            cur += raw[:room]
            raw = raw[room:]
    records.append(cur)
    return [[SST, records[0]]] + [[CONTINUE, r] for r in records[1:]]


def property_set(fmtid):
    """An empty property set stream (one section, no properties)."""
    head = struct.pack('<HHI16sI', 0xFFFE, 0, 0x00020006, b'\0' * 16, 1)
    return head + fmtid + struct.pack('<I', 48) + struct.pack('<II', 8, 0)


SUMMARY = property_set(bytes.fromhex('e0859ff2f94f6810ab9108002b27b3d9'))
DOC_SUMMARY = property_set(bytes.fromhex('02d5cdd59c2e1b10939708002b2cf9ae'))


def compound_file(streams, root_size=None, mini_chain=None):
    """A version 3 compound file (512-byte sectors) of these (name, data)
    streams. root_size: the mini stream's size the root entry gives
    (default: its real size); mini_chain: how many of its sectors its chain
    links (default: all)."""
    big = [(n, d) for n, d in streams if len(d) >= 4096]
    small = [(n, d) for n, d in streams if len(d) < 4096]
    mini_fat, mini_data, starts = [], b'', {}
    for n, d in small:
        count = (len(d) + 63) // 64
        starts[n] = len(mini_fat)
        mini_fat += [len(mini_fat) + i + 1 for i in range(count - 1)] + [END]
        mini_data += d + b'\0' * (count * 64 - len(d))
    mini_fat_sectors = (len(mini_fat) + 127) // 128
    mini_sectors = (len(mini_data) + 511) // 512
    entries = 1 + len(streams)
    dir_sectors = (entries + 3) // 4
    big_sectors = [(len(d) + 511) // 512 for _, d in big]
    fat_sectors = 1
    while True:
        total = fat_sectors + dir_sectors + mini_fat_sectors + mini_sectors + sum(big_sectors)
        if total <= fat_sectors * 128:
            break
        fat_sectors += 1
    fat = [FATSECT] * fat_sectors
    chain_start = {}

    def chain(n):
        start = len(fat)
        fat.extend(start + i + 1 for i in range(n - 1))
        fat.append(END)
        return start
    dir_start = chain(dir_sectors)
    mini_fat_start = chain(mini_fat_sectors) if mini_fat_sectors else END
    mini_stream_start = chain(mini_sectors if mini_chain is None else mini_chain) if mini_sectors else END
    fat.extend([FREE] * (mini_sectors - (mini_sectors if mini_chain is None else mini_chain)))
    for (n, _), count in zip(big, big_sectors):
        chain_start[n] = chain(count)
    fat += [FREE] * (fat_sectors * 128 - len(fat))

    def entry(name, kind, start, size, child=FREE, right=FREE):
        encoded = (name + '\0').encode('utf-16-le')
        return (encoded.ljust(64, b'\0') + struct.pack('<HBB', len(encoded), kind, 1)
                + struct.pack('<III', FREE, right, child) + b'\0' * 36 + struct.pack('<III', start, size, 0))
    # The streams in one chain of right siblings, in the order the tree is
    # searched by (shorter names first, then by their capitals).
    order = sorted(streams, key=lambda s: (len(s[0]), s[0].upper()))
    dir_data = entry('Root Entry', 5, mini_stream_start, len(mini_data) if root_size is None else root_size, child=1)
    for i, (n, d) in enumerate(order):
        start = chain_start.get(n, starts.get(n))
        dir_data += entry(n, 2, start, len(d), right=i + 2 if i + 1 < len(order) else FREE)
    dir_data = dir_data.ljust(dir_sectors * 512, b'\0')
    difat = list(range(fat_sectors)) + [FREE] * (109 - fat_sectors)
    header = (b'\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1' + b'\0' * 16
              + struct.pack('<HHHHH', 0x3E, 3, 0xFFFE, 9, 6) + b'\0' * 6
              + struct.pack('<IIIIIIIII', 0, fat_sectors, dir_start, 0, 4096, mini_fat_start,
                            mini_fat_sectors, END, 0)
              + struct.pack('<109I', *difat))
    body = struct.pack('<%dI' % len(fat), *fat) + dir_data
    body += struct.pack('<%dI' % len(mini_fat), *mini_fat).ljust(mini_fat_sectors * 512, b'\xff')
    body += mini_data.ljust(mini_sectors * 512, b'\0')
    for (_, d), count in zip(big, big_sectors):
        body += d.ljust(count * 512, b'\0')
    return header + body


def with_properties(name, stream, extra=()):
    return [(name, stream), ('\x05SummaryInformation', SUMMARY), ('\x05DocumentSummaryInformation', DOC_SUMMARY)] + list(extra)


def save(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def book_stream():
    stream = xlwt_stream([(0, 0, 'apple'), (1, 0, 'pear')])
    save('book_stream.xls', compound_file(with_properties('BOOK', stream)))
    old = stream[:4] + struct.pack('<H', 0x0500) + stream[6:]
    save('book_stream_biff5.xls', compound_file(with_properties('BOOK', old)))


def cell_twice():
    records, tail = split_records(xlwt_stream([(0, 0, 'apple'), (0, 1, 'pear')]))
    # B1's record once more, as A1, after A1's own.
    at = next(i for i, (t, d) in enumerate(records) if t == LABELSST and struct.unpack_from('<H', d, 2)[0] == 1)
    again = [LABELSST, records[at][1][:2] + struct.pack('<H', 0) + records[at][1][4:]]
    save('cell_twice.xls', compound_file(with_properties('Workbook', join_records(
        records[:at] + [again] + records[at:], tail))))
    cut = [LABELSST, again[1][:8]]
    save('cell_twice_cut.xls', compound_file(with_properties('Workbook', join_records(
        records[:at] + [cut] + records[at:], tail))))


def long_string():
    records, tail = split_records(xlwt_stream([(0, 0, 'apple'), (1, 0, 'long')]))
    at = next(i for i, (t, _) in enumerate(records) if t == SST)
    end = at + 1
    while records[end][0] == CONTINUE:
        end += 1
    sst = sst_records(['apple', 'long ' + 'z' * 39995], 2)
    save('long_string.xls', compound_file(with_properties('Workbook', join_records(
        records[:at] + sst + records[end:], tail))))
    save('long_string_cut.xls', compound_file(with_properties('Workbook', join_records(
        records[:at] + sst[:-1] + records[end:], tail))))


def short_ministream():
    # The two property sets and 1000 bytes of a third stream fill three
    # sectors of the mini stream (2 + 2 + 16 of 64 bytes, in that order).
    records, tail = split_records(xlwt_stream([(0, 0, 'apple'), (1, 0, 'pear')]))
    streams = with_properties('Workbook', join_records(records, tail), [('Notes', bytes(range(250)) * 4)])
    save('short_ministream.xls', compound_file(streams, root_size=3 * 512 + 2048))
    save('short_ministream_cut.xls', compound_file(streams, mini_chain=2))


if __name__ == '__main__':
    book_stream()
    cell_twice()
    long_string()
    short_ministream()
