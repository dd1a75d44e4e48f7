#!/usr/bin/python3
"""Reads an .xls file independently of the engine and prints it as JSON.

Cell values come from xlrd; formula positions, the compound file's other
streams and the layout checks (INDEX, DBCELL, EXTSST, BOUNDSHEET offsets)
come from a small record walk written here.

    xlsdump.py FILE            -> {"sheets": [...], "streams": {...}, "layout": [...]}
"""
import hashlib
import json
import struct
import sys

import olefile
import xlrd

CELL_TYPES = {0x00FD, 0x0204, 0x00D6, 0x0203, 0x027E, 0x0205, 0x0201, 0x0006, 0x00BD, 0x00BE}


def records(data, pos):
    while pos + 4 <= len(data):
        t, n = struct.unpack_from('<HH', data, pos)
        yield pos, t, data[pos + 4:pos + 4 + n]
        pos += 4 + n


def substream(data, start):
    """The records of the BOF..EOF substream at start, each with its depth:
    1 for the substream's own records (its BOF and EOF included), more for
    those of a substream nested in it."""
    depth = 0
    for pos, t, body in records(data, start):
        if t == 0x0809:
            depth += 1
        yield depth, pos, t, body
        if t == 0x000A:
            depth -= 1
            if depth == 0:
                return


def col_name(c):
    s = ''
    c += 1
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s


def layout(data):
    """Checks every offset that depends on the layout; returns the problems."""
    problems = []
    recs = {}
    for pos, t, body in records(data, 0):
        recs[pos] = (t, body)
    bof_positions = []
    sst_chain = []
    extsst = None
    for _, pos, t, body in substream(data, 0):
        if t == 0x0085:
            bof_positions.append(struct.unpack_from('<I', body, 0)[0])
        if t == 0x00FC or (t == 0x003C and sst_chain and sst_chain[-1][0] + 4 + len(sst_chain[-1][1]) == pos):
            sst_chain.append((pos, body))
        if t == 0x00FF:
            extsst = body
    for p in bof_positions:
        if recs.get(p, (None,))[0] != 0x0809:
            problems.append('lbPlyPos %d is no BOF' % p)
    if extsst is not None:
        starts = {pos: pos for pos, _ in sst_chain}
        for k in range((len(extsst) - 2) // 8):
            ib, cb = struct.unpack_from('<IH', extsst, 2 + 8 * k)
            owner = [s for s in starts if s <= ib < s + 4 + 8224]
            if not owner or ib - max(owner) != cb:
                problems.append('EXTSST bucket %d (%d, %d) does not point into the SST' % (k, ib, cb))
    for p in bof_positions:
        if recs.get(p, (None,))[0] != 0x0809:
            continue
        sheet = [(pos, t, body) for depth, pos, t, body in substream(data, p) if depth == 1]
        index = [r for r in sheet if r[1] == 0x020B]
        dbcells = [r for r in sheet if r[1] == 0x00D7]
        if index:
            body = index[0][2]
            ibxf = struct.unpack_from('<I', body, 12)[0]
            if ibxf and recs.get(ibxf, (None,))[0] != 0x0055:
                problems.append('sheet at %d: INDEX.ibXF %d is no DEFCOLWIDTH' % (p, ibxf))
            n = (len(body) - 16) // 4
            if n == len(dbcells):
                for k in range(n):
                    at = struct.unpack_from('<I', body, 16 + 4 * k)[0]
                    if at != dbcells[k][0]:
                        problems.append('sheet at %d: INDEX.rgibRw[%d] = %d, DBCELL at %d' % (p, k, at, dbcells[k][0]))
        for dpos, _, body in dbcells:
            first_row = dpos - struct.unpack_from('<I', body, 0)[0]
            if recs.get(first_row, (None,))[0] != 0x0208:
                problems.append('sheet at %d: DBCELL at %d points to no ROW' % (p, dpos))
                continue
            at = first_row + 20
            for k in range((len(body) - 4) // 2):
                off = struct.unpack_from('<H', body, 4 + 2 * k)[0]
                if k > 0 and off == 0:
                    continue
                at += off
                if recs.get(at, (None,))[0] not in CELL_TYPES:
                    problems.append('sheet at %d: DBCELL at %d entry %d points to no cell' % (p, dpos, k))
                    break
    return problems


def formulas(data):
    out = {}
    starts = []
    names = []
    for pos, t, body in records(data, 0):
        if t == 0x0085:
            starts.append(struct.unpack_from('<I', body, 0)[0])
            cch, flags = body[6], body[7]
            names.append(body[8:8 + cch * (2 if flags & 1 else 1)].decode('utf-16-le' if flags & 1 else 'latin-1'))
        if t == 0x000A:
            break
    for name, p in zip(names, starts):
        cells = []
        for depth, pos, t, body in substream(data, p):
            if depth == 1 and t == 0x0006:
                r, c = struct.unpack_from('<HH', body, 0)
                cells.append('%s%d' % (col_name(c), r + 1))
        out[name] = cells
    return out


def main(path):
    ole = olefile.OleFileIO(path)
    streams = {}
    names = ['/'.join(entry) for entry in ole.listdir(streams=True, storages=False)]
    # The workbook is in Workbook, or in Book where there is no Workbook.
    lower = [n.lower() for n in names]
    own = names[lower.index('workbook')] if 'workbook' in lower else names[lower.index('book')] if 'book' in lower else None
    workbook = None
    for name in names:
        content = ole.openstream(name).read()
        if name == own:
            workbook = content
        else:
            streams[name] = hashlib.sha1(content).hexdigest()
    # Ragged rows end at their last cell: a sheet with one far corner cell
    # is not walked over its whole grid. xlrd's warnings go to stderr.
    book = xlrd.open_workbook(path, formatting_info=True, ragged_rows=True, logfile=sys.stderr)
    f = formulas(workbook)
    sheets = []
    for sh in book.sheets():
        cells = {}
        runs = {}
        for r in range(sh.nrows):
            for c in range(sh.row_len(r)):
                cell = sh.cell(r, c)
                name = '%s%d' % (col_name(c), r + 1)
                kind = {1: 'text', 2: 'number', 3: 'number', 4: 'bool', 5: 'error'}.get(cell.ctype)
                if kind:
                    cells[name] = [kind, cell.value]
                if (r, c) in sh.rich_text_runlist_map:
                    runs[name] = sh.rich_text_runlist_map[(r, c)]
        sheets.append({'name': sh.name, 'cells': cells, 'runs': runs, 'formulas': f.get(sh.name, [])})
    print(json.dumps({'sheets': sheets, 'streams': streams, 'layout': layout(workbook)}))


if __name__ == '__main__':
    main(sys.argv[1])
