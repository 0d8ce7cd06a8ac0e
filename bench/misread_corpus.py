#!/usr/bin/env python3
"""Writes a corpus of realistic chat lines to stdout, one a line (LF-ended),
for bench/misread.sh, from the message catalogs installed on this machine.

Default: Japanese in Shift-JIS (/usr/share/locale/ja), as whole lines, as
short chat-sized fragments (short runs are where Shift-JIS passes for UTF-8),
and with their katakana turned half-width, as older clients type it.

--utf8: every other language's catalogs in UTF-8 (Latin scripts with
accents, Greek, Cyrillic, Korean, Hebrew, Arabic, ...), as whole lines and as
fragments of one to four words, a share of them with an emoji, and a list of
short everyday phrases. Only lines with a byte above 0x7F are written.

    misread_corpus.py [--utf8] [--seed S] [--fragments-per-line K] [--per-language N]
"""
import argparse
import glob
import gettext
import os
import random
import sys
import unicodedata

# Short lines people type, where there is least to go on.
PHRASES = """café|Café ?|naïve|Crème brûlée|très bien|à bientôt|ça va ?|déjà vu|voilà|
über|schön|Grüße|tschüß|Mädchen|Straße|Ärger|Öl|señor|mañana|¿Qué tal?|¡Hola!|niño|
São Paulo|não|obrigação|você|está|açaí|Łódź|dziękuję|cześć|žluťoučký kůň|Dobrý den|
İstanbul|teşekkürler|görüşürüz|Tiếng Việt|cảm ơn|xin chào|Đà Nẵng|smørbrød|Århus|
fjäril|Reykjavík|Þórður|Ελληνικά|Καλημέρα|ευχαριστώ|Привет|спасибо|Как дела?|Добрий день|
한국어|안녕하세요|감사합니다|ㅋㅋㅋ|שלום|مرحبا|ok 😀|👍|lol 😂|❤️|🎉 happy birthday|
25°C|© 2024|±5%|½ cup|«Bonjour»|µs|naïveté|coöperate|résumé|fiancée|jalapeño|Zoë|
Ñandú|Ça|À la carte|É isso|Être|Œuvre|Æsir|ĉu vi|Ĝis|Ölçü|şey|kőrözött|Ąą|łódka|Źródło|Żółw"""


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


def texts(lang):
    seen = set()
    for path in sorted(glob.glob("/usr/share/locale/%s/LC_MESSAGES/*.mo" % lang)):
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


def sjis_corpus(args, rng, out):
    half = half_width_table()
    for text in texts("ja"):
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


EMOJI = [chr(c) for c in list(range(0x1F600, 0x1F640)) + list(range(0x1F44D, 0x1F450)) + [0x2764, 0x1F389, 0x1F914]]


def utf8_corpus(args, rng, out):
    langs = sorted(d for d in os.listdir("/usr/share/locale")
                   if d != "ja" and not d.startswith("en") and
                   glob.glob("/usr/share/locale/%s/LC_MESSAGES/*.mo" % d))
    lines = [p.strip() for p in PHRASES.replace("\n", "").split("|")]
    for lang in langs:
        own = list(texts(lang))
        rng.shuffle(own)
        for text in own[:args.per_language]:
            lines.append(text)
            if rng.random() < 0.1:
                words = text.split(" ")
                words.insert(rng.randint(0, len(words)), rng.choice(EMOJI))
                lines.append(" ".join(words))
            words = text.split()
            for _ in range(args.fragments_per_line):
                n = rng.randint(1, 4)
                start = rng.randint(0, max(0, len(words) - n))
                lines.append(" ".join(words[start:start + n]))
    for line in lines:
        b = line.encode("utf-8")
        if b"\n" not in b and b"\r" not in b and any(x > 0x7F for x in b):
            out.write(b + b"\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--utf8", action="store_true")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--fragments-per-line", type=int, default=3)
    ap.add_argument("--per-language", type=int, default=1500)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    if args.utf8:
        utf8_corpus(args, rng, sys.stdout.buffer)
    else:
        sjis_corpus(args, rng, sys.stdout.buffer)


if __name__ == "__main__":
    main()
