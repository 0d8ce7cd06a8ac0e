#!/usr/bin/env python3
"""Writes a Shift-JIS corpus of realistic Japanese lines to stdout, one a line
(LF-ended), for bench/misread.sh: the Japanese message catalogs installed on
this machine (/usr/share/locale/ja), as whole lines, as short chat-sized
fragments (short runs are where Shift-JIS passes for UTF-8), and with their
katakana turned half-width, as older clients type it.

    misread_corpus.py [--seed S] [--fragments-per-line K]
"""
import argparse
import glob
import gettext
import random
import sys
import unicodedata


def half_width_table():
    table = {}
    for c in range(0xFF61, 0xFFA0):
        full = unicodedata.normalize("NFKC", chr(c))
        if len(full) == 1 and full not in table:
            table[full] = chr(c)
    # Voiced kana decompose into a half-width kana and a sound mark.
    for c in range(0x30A0, 0x3100):
        ch = chr(c)
        d = unicodedata.normalize("NFD", ch)
        if len(d) == 2 and d[0] in table and d[1] in ("\u3099", "\u309A"):
            table[ch] = table[d[0]] + ("\uFF9E" if d[1] == "\u3099" else "\uFF9F")
    return table


def texts():
    seen = set()
    for path in sorted(glob.glob("/usr/share/locale/ja/LC_MESSAGES/*.mo")):
        try:
            with open(path, "rb") as f:
                cat = gettext.GNUTranslations(f)._catalog
        except Exception:
            continue
        for value in cat.values():
            if not isinstance(value, str):
                continue
            for line in value.splitlines():
                line = line.strip()
                if line and line not in seen and any(ord(c) > 0x7F for c in line):
                    seen.add(line)
                    yield line


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--fragments-per-line", type=int, default=3)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    half = half_width_table()
    out = sys.stdout.buffer
    for text in texts():
        variants = [text, "".join(half.get(c, c) for c in text)]
        for v in variants:
            pieces = [v]
            for _ in range(args.fragments_per_line):
                n = rng.randint(1, 12)
                start = rng.randint(0, max(0, len(v) - n))
                pieces.append(v[start:start + n])
            for p in pieces:
                try:
                    b = p.encode("cp932")
                except UnicodeEncodeError:
                    continue
                if b"\n" not in b and b"\r" not in b and any(x > 0x7F for x in b):
                    out.write(b + b"\n")


if __name__ == "__main__":
    main()
