#!/usr/bin/python3
"""readers.py TABLE.dbf: the table as two independent readers see it (dbfread, then dbf).

Prints one line per column "col NAME TYPE WIDTH DEC" and one line per live row, values joined by '|'
(text stripped of trailing blanks, numbers in general format, None as ''), for each reader.
"""
import sys


def fmt(v):
    if v is None:
        return ''
    if isinstance(v, float):
        return ('%.15g' % v)
    if isinstance(v, bytes):
        return v.decode('cp1251')
    return str(v).rstrip()


def main(path):
    import dbfread
    t = dbfread.DBF(path, encoding=None, char_decode_errors='strict')
    print('reader dbfread encoding', t.encoding)
    for f in t.fields:
        print('col', f.name, f.type, f.length, f.decimal_count)
    for r in t:
        print('row', '|'.join(fmt(v) for v in r.values()))
    import dbf
    tb = dbf.Table(path)
    tb.open(dbf.READ_ONLY)
    print('reader dbf codepage', tb.codepage)
    for name in tb.field_names:
        info = tb.field_info(name)
        print('col', name.upper(), chr(info.field_type), info.length, info.decimal)
    for r in tb:
        if dbf.is_deleted(r):
            continue
        print('row', '|'.join(fmt(v) for v in r))
    tb.close()


if __name__ == '__main__':
    main(sys.argv[1])
