#!/usr/bin/env python3
"""Writes the first inputs of each fuzz target's corpus (tests/fuzz/<target>/golden-*) from the
string literals of the unit tests' golden tables. Run by hand when those tables change. The
other files (named by their SHA-1) are inputs that libFuzzer found reaching new code, merged in
after a run of scripts/fuzz with
    build-fuzz/tests/fuzz/fuzz_<target> -merge=1 tests/fuzz/<target> build-fuzz/corpus/<target>
"""

import hashlib
import pathlib
import re
import struct

ROOT = pathlib.Path(__file__).resolve().parents[2]
FUZZ = ROOT / "tests" / "fuzz"

LITERAL = re.compile(r'(?:u8|u|U|L)?"((?:[^"\\\n]|\\.)*)"')
GAP = re.compile(r"\s*")


def unescape(body):
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out += c.encode()
            i += 1
            continue
        e = body[i + 1]
        if e == "x":
            digits = re.match(r"[0-9a-fA-F]{1,2}", body[i + 2:]).group(0)
            out.append(int(digits, 16))
            i += 2 + len(digits)
        elif e == "u":
            out += chr(int(body[i + 2:i + 6], 16)).encode()
            i += 6
        else:
            out += {"n": b"\n", "r": b"\r", "t": b"\t", "0": b"\0"}.get(e, e.encode())
            i += 2
    return bytes(out)


def literals(path):
    """Every string literal of a C++ file, adjacent ones joined as the compiler joins them."""
    text = (ROOT / path).read_text(encoding="utf-8")
    result, pos, current = [], 0, None
    for m in LITERAL.finditer(text):
        if current is not None and GAP.fullmatch(text[pos:m.start()]):
            current += unescape(m.group(1))
        else:
            if current is not None:
                result.append(current)
            current = unescape(m.group(1))
        pos = m.end()
    if current is not None:
        result.append(current)
    return result


def write(target, inputs):
    folder = FUZZ / target
    folder.mkdir(exist_ok=True)
    for old in folder.glob("golden-*"):
        old.unlink()
    for data in dict.fromkeys(inputs):
        name = "golden-" + hashlib.sha1(data).hexdigest()[:16]
        (folder / name).write_bytes(data)


SQL = re.compile(rb"^\s*(select|delete|create|grant|insert|update|drop|alter)\b", re.I)
write("sqlrewriter", [s for f in ["tests/db/sqlrewriter_test.cpp", "tests/db/sqliteengine_test.cpp",
                                  "tests/db/statements_test.cpp", "tests/browse/core/filterset_test.cpp",
                                  "tests/db/logtableschema_test.cpp"]
                      for s in literals(f) if SQL.match(s)])

write("connectionstring", [s for f in ["tests/db/connectionstring_test.cpp", "tests/db/odbc_test.cpp"]
                           for s in literals(f) if b"=" in s])

write("history", [s for s in literals("tests/login/core/history_test.cpp") if b"[" in s or b"=" in s])

ansi = literals("tests/base/ansicodepage_test.cpp")
write("ansicodepage", ansi + [s.decode("utf-8", "replace").encode("utf-16-le", "surrogatepass")
                              for s in ansi])

# The date target reads, with libFuzzer's FuzzedDataProvider, integers from the end (the locale,
# the current year, a day to write, then whether a picture of its own follows) and from the
# front a picture ended by a backslash and another character, then the date text.
test = (ROOT / "tests/db/oracledate_test.cpp").read_text(encoding="utf-8")
dates = []
for i, m in enumerate(re.finditer(r'\{"([^"]*)", (?:ru|en), "([^"]*)", "[^"]*"\}', test)):
    picture, text = unescape(m.group(1)), unescape(m.group(2))
    tail = bytes([1, 7, 12, 0x30 + i % 40, 0x07, 76, i % 256, 0]) # bool, day, month, year, ...
    dates.append(picture + b"\\|" + text + tail)
write("oracledate", dates)
