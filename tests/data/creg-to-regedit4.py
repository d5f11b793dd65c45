#!/usr/bin/env python3
# Turns cregexport's dump of a Windows 9x SYSTEM.DAT into a REGEDIT4 file laid out as Windows 98's
# regedit exports it: CRLF, cp1252, "text" for strings, dword:, hex lists wrapped near 80 columns.
# Usage: creg-to-regedit4.py system.txt system.reg
import sys

TYPES = {'REG_SZ': 1, 'REG_EXPAND_SZ': 2, 'REG_BINARY': 3, 'REG_DWORD': 4, 'REG_MULTI_SZ': 7}


def ansi(text):
    return text.encode('cp1252', errors='surrogateescape')


def quoted(data):
    return b'"' + data.replace(b'\\', b'\\\\').replace(b'"', b'\\"') + b'"'


def hex_list(prefix, data):
    out = bytearray(prefix)
    line_length = len(prefix)
    for i, byte in enumerate(data):
        out += b'%02x' % byte
        if i == len(data) - 1:
            break
        out += b','
        line_length += 3
        if line_length >= 77:
            out += b'\\\r\n  '
            line_length = 2
    return bytes(out)


def type_code(line):
    return next(code for name, code in TYPES.items() if '(' + name + ')' in line or '(' + name + '_' in line)


def convert(lines):
    out = bytearray(b'REGEDIT4\r\n\r\n')
    i = 0
    in_key = False
    while i < len(lines):
        line = lines[i]
        if line.startswith('Key path: '):
            path = line[len('Key path: '):]
            out += b'[HKEY_LOCAL_MACHINE' + (b'\\' + ansi(path) if path else b'') + b']\r\n'
            in_key = True
        elif line.startswith('Value: '):
            name = line[len('Value: '):].split(' ', 1)[1]
            prefix = (b'@' if name == '(default)' else quoted(ansi(name))) + b'='
            code = type_code(lines[i + 1])
            size = int(lines[i + 2].split(': ')[1])
            i += 3
            if code == 4:  # dumped as a decimal number only
                out += prefix + b'dword:%08x\r\n' % (int(lines[i].split(': ')[1]) & 0xffffffff)
                i += 1
                continue
            while lines[i] != 'Data:':
                i += 1
            i += 1
            data = bytearray()
            while len(data) < size:
                data += bytes(int(x, 16) for x in lines[i][10:59].split())
                i += 1
            data = bytes(data[:size])
            # Text keeps its line breaks as they are, inside the quotes; only a NUL needs hex(1).
            if code == 1 and b'\0' not in data:
                out += prefix + quoted(data) + b'\r\n'
            else:
                out += hex_list(prefix + (b'hex:' if code == 3 else b'hex(%x):' % code), data) + b'\r\n'
            continue
        elif line == '' and in_key and (i + 1 >= len(lines) or lines[i + 1].startswith('Key path: ')):
            out += b'\r\n'
        i += 1
    if not out.endswith(b'\r\n\r\n'):
        out += b'\r\n'
    return bytes(out)


if __name__ == '__main__':
    with open(sys.argv[1], encoding='cp1252', errors='surrogateescape') as dump:
        result = convert(dump.read().split('\n'))
    with open(sys.argv[2], 'wb') as reg:
        reg.write(result)
