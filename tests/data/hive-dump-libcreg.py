#!/usr/bin/python3
# Lists every key and value of a Windows 95/98/Me registry file as libcreg reads it, one line
# each: "K path" and "V path name type data", all in hex. The tree is walked, never searched by
# path (libcreg's look-up can return the wrong sibling). Names are Windows-1252 bytes; a byte
# libcreg cannot decode is written as "?", as hive-dump.pl does.
import sys

import pycreg


def ansi(text):
    return b"" if text is None else text.encode("cp1252", errors="replace")


def walk(key, path, out):
    out.append("K " + path.hex())
    for i in range(key.number_of_values):
        value = key.get_value(i)
        out.append("V %s %s %d %s" % (path.hex(), ansi(value.name).hex(), value.type, (value.data or b"").hex()))
    for i in range(key.number_of_sub_keys):
        sub = key.get_sub_key(i)
        name = ansi(sub.name)
        walk(sub, path + b"\\" + name if path else name, out)


registry = pycreg.file()
registry.open(sys.argv[1])
lines = []
walk(registry.get_root_key(), b"", lines)
print("\n".join(lines))
