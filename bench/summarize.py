#!/usr/bin/env python3
"""Key figures from bench_kanji's and bench_parser's JSON results.

    summarize.py KANJI_JSON PARSER_JSON

Figures are medians over the repetitions, with the best repetition in
brackets (the peer harness iconvbench.c reports best of 5). Exit status 3
when a goal is missed: JisDecode per line >= 5x iconv per line on the mix,
ParseLine >= 1,000,000 lines/s on the mix.
"""
import json
import statistics
import sys

KINDS = ["mix", "PRIVMSG", "PRIVMSG_me", "NOTICE", "JOIN", "PART", "QUIT",
         "MODE", "NICK", "353", "372", "322", "001", "PING"]


class Run:
    def __init__(self, reps):
        self.reps = reps

    def med(self, key):
        return statistics.median(r.get(key, 0) for r in self.reps)

    def best(self, key):
        return max(r.get(key, 0) for r in self.reps)


def load(path):
    with open(path) as f:
        doc = json.load(f)
    reps = {}
    for b in doc["benchmarks"]:
        if b.get("run_type", "iteration") == "iteration" and "error_occurred" not in b:
            reps.setdefault(b.get("run_name", b["name"]), []).append(b)
    return doc["context"], {name: Run(rs) for name, rs in reps.items()}


def mbps(run, how):
    return getattr(run, how)("bytes_per_second") / 1e6


def kanji(ctx, k):
    missed = False
    print("JisDecode vs glibc iconv ISO-2022-JP -> CP932, MB/s of input (MB = 1e6)")
    print("  JisDecode output equals iconv's on every corpus: %s"
          % ctx.get("jisdecode_matches_iconv", "?"))
    for pct, label in ((30, "mix, 30% JIS lines"), (0, "pure ASCII"), (100, "JIS-heavy")):
        print("  jis:%-3d %-19s %s" % (pct, label, ctx.get("corpus_jis%d" % pct, "")))
    print("  %-8s %-8s %22s %18s %16s" % ("corpus", "mode", "JisDecode (best)",
                                          "iconv (best)", "ratio (best)"))
    for mode, tag in (("per line", "PerLine"), ("whole", "WholeBuffer")):
        for pct in (30, 0, 100):
            j = k.get("BM_JisDecode_%s/jis:%d" % (tag, pct))
            i = k.get("BM_Iconv_%s/jis:%d" % (tag, pct))
            if not j or not i:
                print("  jis:%-4d %-8s missing" % (pct, mode))
                missed = True
                continue
            print("  jis:%-4d %-8s %10.1f (%9.1f) %7.1f (%7.1f) %6.2fx (%5.2fx)" % (
                pct, mode, mbps(j, "med"), mbps(j, "best"), mbps(i, "med"),
                mbps(i, "best"), mbps(j, "med") / mbps(i, "med"),
                mbps(j, "best") / mbps(i, "best")))
    m = k.get("BM_Memcpy/jis:30")
    if m:
        print("  memcpy of the mix: %.0f MB/s" % mbps(m, "med"))
    j, i = k.get("BM_JisDecode_PerLine/jis:30"), k.get("BM_Iconv_PerLine/jis:30")
    if not j or not i:
        return True
    r, rb = mbps(j, "med") / mbps(i, "med"), mbps(j, "best") / mbps(i, "best")
    ok = r >= 5
    print("  goal JisDecode >= 5x iconv per line (mix): %.2fx (best %.2fx)  %s"
          % (r, rb, "met" if ok else "MISSED by %.0f%%" % ((5 - r) / 5 * 100)))
    return missed or not ok


def parser(p):
    print("ParseLine, lines/s")
    print("  %-12s %22s %10s" % ("lines", "median (best)", "bytes/line"))
    for kind in KINDS:
        b = p.get("BM_ParseLine/" + kind)
        if not b:
            continue
        print("  %-12s %10.0f (%10.0f) %10.0f" % (
            kind, b.med("items_per_second"), b.best("items_per_second"), b.med("avg_bytes")))
        if b.best("rejected"):
            print("  %-12s refused %.1f%% of its lines" % ("", 100 * b.best("rejected")))
    print("Line path (framing in 127-byte reads, reading step, ParseLine), lines/s")
    for corpus in ("mix", "mix_sjis30", "mix_utf8_30"):
        b = p.get("BM_LinePath/" + corpus)
        if b:
            print("  %-12s %10.0f (%10.0f)" % (corpus, b.med("items_per_second"), b.best("items_per_second")))
    mix = p.get("BM_ParseLine/mix")
    if not mix:
        return True
    lps = mix.med("items_per_second")
    ok = lps >= 1e6
    print("  goal ParseLine >= 1,000,000 lines/s (mix): %.0f  %s"
          % (lps, "met" if ok else "MISSED by %.0f%%" % ((1e6 - lps) / 1e6 * 100)))
    return not ok


def main():
    ctx, k = load(sys.argv[1])
    _, p = load(sys.argv[2])
    print()
    missed = kanji(ctx, k)
    print()
    missed = parser(p) or missed
    return 3 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
