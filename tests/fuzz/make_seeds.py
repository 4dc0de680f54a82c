#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/<target>/): well-formed inputs, the limits
(16768-byte records), and inputs whose lengths lie. Run from anywhere; files are rewritten in place.
Regression inputs of past findings live beside them as regress-* files and are not touched."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    d = os.path.join(HERE, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    if isinstance(data, str):
        data = data.encode('latin-1')
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def record(user, pw, name, idfile, total=None, lens=None):
    fields = [user, pw, name, idfile]
    fields = [f.encode('latin-1') if isinstance(f, str) else f for f in fields]
    lens = lens or [len(f) for f in fields]
    body = b''.join(struct.pack('<H', l) + f for l, f in zip(lens, fields))
    if total is None:
        total = 4 + len(body)
    return struct.pack('<I', total) + body


def logon_record():
    t = 'fuzz_logon_record'
    idf = bytes((i * 7) & 0xFF for i in range(300))
    put(t, 'small', record('CN=Ann Smith/O=Acme', 'secret', 'ann.id', idf))
    put(t, 'empty-password', record('CN=Ann', '', 'ann.id', b'\x01\x02'))
    put(t, 'all-empty', record('', '', '', b''))
    put(t, 'max-fields', record('u' * 256, 'p' * 64, 'f' * 256, idf))
    big = 16768 - 12 - 6 - 2 - 6
    put(t, 'record-16768', record('CN=Bob', 'pw', 'bob.id', bytes(i & 0xFF for i in range(big))))
    put(t, 'record-16768-max-texts', record('u' * 256, 'p' * 64, 'f' * 256, bytes(16768 - 12 - 576)))
    r = bytearray(record('CN=Bob', 'pw', 'bob.id', bytes(big)))
    r[-big - 2:-big] = struct.pack('<H', 0xFFFF)
    put(t, 'record-16768-idfile-length-lies', bytes(r))
    put(t, 'total-lies', record('CN=Ann', 'pw', 'a.id', idf, total=0xFFFFFFFF))
    put(t, 'user-length-lies', record('CN=Ann', 'pw', 'a.id', idf, lens=[0xFFFF, 2, 4, 300]))
    put(t, 'user-length-257', record('u' * 257, 'pw', 'a.id', idf))
    put(t, 'password-length-65', record('CN=Ann', 'p' * 65, 'a.id', idf))
    put(t, 'name-length-257', record('CN=Ann', 'pw', 'f' * 257, idf))
    put(t, 'password-length-lies', record('CN=Ann', 'pw', 'a.id', idf, lens=[6, 64, 4, 300]))
    put(t, 'idfile-past-end', record('CN=Ann', 'pw', 'a.id', idf, lens=[6, 2, 4, 301]))
    put(t, 'cut-in-length-field', record('CN=Ann', 'pw', 'a.id', idf)[:4 + 2 + 6 + 1])
    put(t, 'only-total', struct.pack('<I', 12))
    put(t, 'three-bytes', b'\x0c\x00\x00')
    put(t, 'bytes-after-fields', record('CN=Ann', 'pw', 'a.id', b'\x01') + b'trailing')
    put(t, 'name-with-path', record('CN=Ann', 'pw', '..\\..\\Windows\\a.id', b'\x01'))
    put(t, 'name-device', record('CN=Ann', 'pw', 'NUL.id', b'\x01'))


def id_file_name():
    t = 'fuzz_id_file_name'
    for i, n in enumerate(['ann.id', 'user.id', 'a', '..\\x.id', 'C:\\x.id', 'a/b.id', 'C:x.id', 'CON',
                           'nul.id', 'Com1.id', 'lpt9', 'conin$', 'x.id.', 'x.id ', '.', '..', '...',
                           'file.id:stream', 'a<b.id', 'a|b', 'q?.id', 'star*.id', '"q".id', 'tab\t.id',
                           'f' * 256, 'f' * 300, 'COM0.id', 'CONSOLE.id', 'NUL .id', ' lead.id']):
        put(t, 'name-%02d' % i, n)


def bioapi(name, length, data, sig=None, prefix=b'1 BioAPI', namelen=None):
    name = name.encode('latin-1')
    header = struct.pack('<IBBHHbBI', length, 1, 4, 0x1B, 2, 80, 3, 8)
    s = prefix + struct.pack('<I', len(name) if namelen is None else namelen) + name + header + data
    if sig is not None:
        s += struct.pack('<I', len(sig)) + sig
    return s


def bir_bioapi():
    t = 'fuzz_bir_bioapi'
    put(t, 'abc-35', bioapi('ABC', 20, b'\x01\x02\x03\x04'))
    put(t, 'abc-signature-41', bioapi('ABC', 20, b'\x01\x02\x03\x04', sig=b'\xAA\xBB'))
    put(t, 'first-byte-2', bioapi('ABC', 20, b'\x01\x02\x03\x04', prefix=b'2 BioAPI'))
    put(t, 'no-tag', bioapi('ABC', 20, b'\x01\x02\x03\x04', prefix=b'1 XXXXXX'))
    put(t, 'name-length-lies', bioapi('ABC', 20, b'\x01\x02\x03\x04', namelen=0xFFFFFFFF))
    put(t, 'name-length-260', bioapi('N' * 260, 20, b'\x01\x02\x03\x04'))
    put(t, 'header-length-lies', bioapi('ABC', 0xFFFFFFF0, b'\x01\x02\x03\x04'))
    put(t, 'header-length-below-16', bioapi('ABC', 8, b'\x01\x02\x03\x04'))
    put(t, 'signature-length-lies', bioapi('ABC', 20, b'\x01\x02\x03\x04', sig=b'\xAA\xBB')[:-2] + b'\xFF\xFF')
    put(t, 'not-signature', bioapi('ABC', 20, b'\x01\x02\x03\x04') + b'\x01\x02')
    data = bytes(i & 0xFF for i in range(16768 - 12 - 12 - 16))
    put(t, 'string-16768', bioapi('Fingerprint ', 16 + len(data), data))
    put(t, 'name-with-zero', bioapi('AB\0C', 20, b'\x01\x02\x03\x04'))
    put(t, 'short-header', bioapi('ABC', 20, b'')[:20])


def bir_haapi():
    t = 'fuzz_bir_haapi'

    def ha(record, name, dlen=None, nlen=None, prefix=b'1 HA_API'):
        name = name.encode('latin-1')
        return (prefix + struct.pack('<I', len(record) if dlen is None else dlen) + record +
                struct.pack('<I', len(name) if nlen is None else nlen) + name)
    put(t, 'xy-23', ha(b'\x01\x02\x03\x04\x05', 'XY'))
    put(t, 'empty-record', ha(b'', 'Face'))
    put(t, 'record-length-lies', ha(b'\x01\x02\x03', 'XY', dlen=0xFFFFFFFF))
    put(t, 'record-length-wraps', ha(b'\x01\x02\x03', 'XY', dlen=0xFFFFFFF4))
    put(t, 'name-length-lies', ha(b'\x01\x02\x03', 'XY', nlen=0x7FFFFFFF))
    put(t, 'name-length-260', ha(b'\x01', 'N' * 260))
    put(t, 'first-byte-2', ha(b'\x01', 'XY', prefix=b'2 HA_API'))
    put(t, 'string-16768', ha(bytes(i & 0xFF for i in range(16768 - 16 - 10)), 'Voice Tech'))
    put(t, 'cut', ha(b'\x01\x02\x03', 'XY')[:14])


def peglar():
    t = 'fuzz_peglar_command_line'
    for i, line in enumerate(['notes.ini Notes EXTMGR_ADDINS Tolvik.dll a 1',
                              '"C:\\Program Files\\Notes\\notes.ini" Notes AddInMenus TolvikM.dll d',
                              'x.ini s k v c 99999999999999999999 seventh eighth',
                              'x.ini "unbalanced s k v a',
                              '   lots    of     spaces   between   the  tokens  ',
                              '"" "" "" "" ""', 'a b c d e -2147483649', 'a b c d e +12x', 'a"b c"d e f g']):
        put(t, 'line-%02d' % i, line)
    t = 'fuzz_peglar_item_list'
    for i, pair in enumerate(['A,B,C\nB', 'A,B,C\nA', 'A,B,C\nC', 'A,B,C\nD', 'nlnotes,x\nnotes', 'AB,B\nB',
                              'only\nonly', '\nitem', 'a, b, c\nb', 'x,' * 97 + '\nx', 'v' * 194 + '\nw',
                              'A,,B\nB', ',B,C\nB', 'A,B,C\nB,C']):
        put(t, 'pair-%02d' % i, pair)


def message_format():
    t = 'fuzz_message_format'

    def seed(kind, size, integer, fmt, text=''):
        return bytes([(size << 1) | kind]) + struct.pack('<i', integer) + fmt.encode('latin-1') + b'\0' + \
            text.encode('latin-1')
    put(t, 'caption', seed(1, 100, 0, '%s Sentrio', 'Morvath'))
    put(t, 'attempts', seed(0, 127, 2, 'ATTENTION! Bad PIN code was entered!\n\nRemain %d attempts to enter correct PIN code'))
    put(t, 'internal-error', seed(0, 40, 8, 'Internal error [%08X]!'))
    put(t, 'loading', seed(1, 20, 0, 'An error occurred while loading %s!', 'braxial.dll'))
    put(t, 'percent', seed(0, 50, 5, '100%% done, %d left'))
    put(t, 'two-texts', seed(1, 60, 0, '%s : %s', 'Reader'))
    put(t, 'writes-count', seed(0, 60, 0, 'count%n'))
    put(t, 'star-width', seed(0, 60, 7, '%*d'))
    put(t, 'positional', seed(1, 60, 0, '%1$s', 'x'))
    put(t, 'huge-width', seed(0, 60, 1, '%999999999d'))
    put(t, 'wrong-kind', seed(0, 60, 1, 'name %s'))
    put(t, 'long-size', seed(0, 60, 1, '%lld'))
    put(t, 'trailing-percent', seed(1, 60, 0, 'ends in %', 'x'))
    put(t, 'zero-buffer', seed(1, 0, 0, '%s', 'x'))
    put(t, 'char-zero', seed(0, 10, 0, 'a%cb'))


logon_record()
id_file_name()
bir_bioapi()
bir_haapi()
peglar()
message_format()
