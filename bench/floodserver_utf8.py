#!/usr/bin/env python3
"""The peer bench's floodserver.py with a share of the flood's lines in UTF-8:
each line holding JIS runs is written in UTF-8 instead with the probability
that makes UTF8_PERCENT percent of all lines UTF-8 (default 30; the flood has
--jis-percent JIS lines, 50 by default). bench/flood.sh -u puts it in place
of the original, which it imports from PEERBENCH_REAL.
"""
import os
import random
import sys

sys.path.insert(0, os.environ["PEERBENCH_REAL"])
import floodserver  # noqa: E402  (the original, from PEERBENCH_REAL)

SHARE = int(os.environ.get("UTF8_PERCENT", "30"))
_gen_lines = floodserver.gen_lines


def gen_lines(n, seed=1, jis_percent=50):
    rng = random.Random(seed)
    p = SHARE / jis_percent if jis_percent else 0
    out = []
    for line in _gen_lines(n, seed, jis_percent):
        if b"\x1b" in line and rng.random() < p:
            line = line.decode("iso2022_jp").encode("utf-8")
        out.append(line)
    return out


floodserver.gen_lines = gen_lines
if __name__ == "__main__":
    sys.exit(floodserver.main())
