"""Tables travel between the engine and other DBF tools.

  interop_test.py engine-to-dbfread INTEROP_TOOL
      The engine writes the program's records table (deleted records, memos with
      non-ASCII text, rewritten memos); dbfread reads the table, and the memo
      file through a copy named .fpt, and must find exactly what was posted.

  interop_test.py foxpro-to-engine INTEROP_TOOL
      The dbf package writes a FoxPro table (N, D, L and memo fields, .fpt memo
      file, a deleted record); the engine must read it.

Exits 77 (a skip for ctest) when this Python lacks the module the case needs.
"""
import datetime
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def run_tool(tool, *args):
    p = subprocess.run([*tool, *args], capture_output=True)
    if p.returncode != 0:
        sys.exit('%s %s failed (%d): %s' % (os.path.basename(tool[-1]), ' '.join(args),
                                            p.returncode, p.stderr.decode('utf-8', 'replace')))
    return json.loads(p.stdout.decode('utf-8'))


def engine_to_dbfread(tool, tmp):
    try:
        from dbfread import DBF
    except ImportError:
        print('dbfread is not installed for', sys.executable)
        return SKIP

    written = os.path.join(tmp, 'written')
    os.mkdir(written)
    expected = run_tool(tool, 'write', written)

    # Another tool looks for a FoxPro memo file beside the table as .fpt.
    copy = os.path.join(tmp, 'copy')
    os.mkdir(copy)
    shutil.copy(os.path.join(written, 'VTLDataA.dbf'), os.path.join(copy, 'VTLDataA.dbf'))
    shutil.copy(os.path.join(written, 'VTLDataA.SMT'), os.path.join(copy, 'VTLDataA.fpt'))
    path = os.path.join(copy, 'VTLDataA.dbf')

    table = DBF(path, encoding='utf-8', char_decode_errors='strict', load=True)
    check(table.header.dbversion == 0xF5, 'version byte is %#x, not 0xF5' % table.header.dbversion)
    got_fields = [[f.name, f.type, f.length, f.decimal_count] for f in table.fields]
    check(got_fields == expected['fields'], 'fields: %r' % got_fields)

    # The header's date is the day of the last write, its count all records.
    today = datetime.date.today()
    check(abs((table.date - today).days) <= 1 if table.date else False,
          'header date %r is not today' % table.date)
    check(table.header.numrecords == len(expected['records']),
          'header count %d, posted %d' % (table.header.numrecords, len(expected['records'])))

    # Layout: header, records, one end mark, nothing else.
    raw = open(path, 'rb').read()
    h = table.header
    check(len(raw) == h.headerlen + h.recordlen * h.numrecords + 1,
          'file size %d, header says %d' % (len(raw), h.headerlen + h.recordlen * h.numrecords + 1))
    check(raw[-1:] == b'\x1a', 'no end mark 0x1A after the last record')

    def rows(deleted):
        return [r['values'] for r in expected['records'] if r['deleted'] == deleted]

    def normal(rec):
        out = {}
        for k, v in rec.items():
            if isinstance(v, bytes):
                failures.append('%s read as binary memo %r' % (k, v[:20]))
            out[k] = '' if v is None else v
        return out

    for label, got, want in (('live', table.records, rows(False)),
                             ('deleted', table.deleted, rows(True))):
        got = [normal(r) for r in got]
        check(len(got) == len(want), '%s records: %d read, %d expected' % (label, len(got), len(want)))
        for i, (g, w) in enumerate(zip(got, want)):
            for k in w:
                if g.get(k) != w[k]:
                    failures.append('%s record %d field %s: read %r, posted %r'
                                    % (label, i + 1, k, (g.get(k) or '')[:60], w[k][:60]))

    # The memo header's next free block lies at or past the end of the file.
    memo = open(os.path.join(copy, 'VTLDataA.fpt'), 'rb').read()
    next_free, block = struct.unpack('>L2xH', memo[:8])
    check(block > 0 and next_free * block >= len(memo),
          'memo header: next free block %d of %d bytes, file %d bytes' % (next_free, block, len(memo)))
    return 0


def foxpro_to_engine(tool, tmp):
    try:
        import dbf
    except ImportError:
        print('dbf is not installed for', sys.executable)
        return SKIP

    long_memo = ('Zeile mit Umlauten äöü — ' * 150).strip()
    rows = [
        ('Alpha', 12.5, datetime.date(2024, 1, 31), True, 'memo ü text'),
        ('Beta', -3, None, False, 'deleted row'),
        ('Gamma', None, datetime.date(1999, 12, 1), None, long_memo),
        ('Délta', 12345.67, datetime.date(2000, 2, 29), False, ''),
    ]
    path = os.path.join(tmp, 'foxpro.dbf')
    t = dbf.Table(path, 'name C(20); n N(8,2); d D; l L; memo M', dbf_type='fp', codepage='utf8')
    t.open(dbf.READ_WRITE)
    for r in rows:
        t.append(r)
    with t[1] as rec:
        dbf.delete(rec)
    t.close()
    raw = open(path, 'rb').read()
    check(raw[0] == 0xF5, 'the dbf package wrote version %#x' % raw[0])
    check(os.path.exists(os.path.join(tmp, 'foxpro.fpt')), 'the dbf package wrote no .fpt')

    # Reading changes nothing: no file is written, none is added.
    def folder_state():
        return {n: open(os.path.join(tmp, n), 'rb').read() for n in sorted(os.listdir(tmp))}
    before = folder_state()
    got = run_tool(tool, 'dump', path)
    after = folder_state()
    check(sorted(after) == sorted(before), 'reading added files: %r' % sorted(set(after) - set(before)))
    check(all(after.get(n) == b for n, b in before.items()), 'reading changed a file')
    check(got['fields'] == [['NAME', 'C', 20, 0], ['N', 'N', 8, 2], ['D', 'D', 8, 0],
                            ['L', 'L', 1, 0], ['MEMO', 'M', 10, 0]],
          'fields: %r' % got['fields'])
    want = [
        {'NAME': 'Alpha', 'N': '12.50', 'D': '20240131', 'L': 'T', 'MEMO': 'memo ü text'},
        {'NAME': 'Beta', 'N': '-3.00', 'D': '', 'L': 'F', 'MEMO': 'deleted row'},
        {'NAME': 'Gamma', 'N': '', 'D': '19991201', 'L': '?', 'MEMO': long_memo},
        {'NAME': 'Délta', 'N': '12345.67', 'D': '20000229', 'L': 'F', 'MEMO': ''},
    ]
    records = got['records']
    check(len(records) == len(want), '%d records read, 4 written' % len(records))
    for i, (g, w) in enumerate(zip(records, want)):
        check(g['recno'] == i + 1, 'record %d read as number %d' % (i + 1, g['recno']))
        check(g['deleted'] == (i == 1), 'record %d deleted flag %r' % (i + 1, g['deleted']))
        for k in w:
            v = g['values'].get(k)
            # Raw text of N, D and L: compared without the padding.
            if v is not None and k in ('N', 'D', 'L'):
                v = v.strip()
            if v != w[k]:
                failures.append('record %d field %s: read %r, written %r'
                                % (i + 1, k, (v or '')[:60], w[k][:60]))
    check(got['visible'] == [1, 3, 4], 'visible records %r, expected [1, 3, 4]' % got['visible'])
    check(got['count'] == 3, 'record count %r, expected 3' % got['count'])
    return 0


def main():
    if len(sys.argv) < 3:
        sys.exit('usage: interop_test.py engine-to-dbfread|foxpro-to-engine [RUNNER...] INTEROP_TOOL')
    case = {'engine-to-dbfread': engine_to_dbfread,
            'foxpro-to-engine': foxpro_to_engine}.get(sys.argv[1])
    if case is None:
        sys.exit('unknown case ' + sys.argv[1])
    tmp = tempfile.mkdtemp(prefix='vantrell-interop-')
    try:
        # A runner (Wine for a Windows build) goes before the tool.
        rc = case([*sys.argv[2:-1], os.path.abspath(sys.argv[-1])], tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for f in failures:
        print('FAIL:', f)
    if failures:
        return 1
    if rc == 0:
        print('ok')
    return rc


if __name__ == '__main__':
    sys.exit(main())
