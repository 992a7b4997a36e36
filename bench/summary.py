#!/usr/bin/env python3
"""Prints the summary table of a quellory_bench run from its JSON output
(--benchmark_out=FILE --benchmark_out_format=json): python3 bench/summary.py FILE
Times are medians of the repetitions; ratio = case / baseline."""
import json
import re
import sys

median, peak, errors = {}, {}, []
for run in json.load(open(sys.argv[1]))["benchmarks"]:
    name = re.sub(r"/(min_warmup_time|iterations|repeats):[^/]*|/manual_time", "", run["run_name"])
    if run.get("error_occurred"):
        errors.append(f"error in {name}: {run.get('error_message')}")
    elif run.get("aggregate_name") == "median":
        median[name] = run["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1}[run["time_unit"]]
    elif "max_bytes_used" in run and "rss_before" in run:  # peak cases only
        peak[name] = (run["max_bytes_used"] / 2**20, run["rss_before"] / 2**20)
rows = [("case", "median", "baseline", "ratio", "target", "")]


def row(label, value, base, ratio, target, met):  # met: None when there is no target or no figure
    rows.append((label, value, base, ratio, target, "" if not target else "-" if met is None else
                 "met" if met else "MISSED"))


def ms(s):
    return "-" if s is None else f"{s * 1e3:,.{3 if s < 0.01 else 1}f} ms"


def quotient(a, b):
    return a / b if a and b else None


def timed(label, name, most=None, limit=None):
    value, base = median.get(name), median.get("baseline/" + name)
    ratio = quotient(value, base)
    target = f"<= {most:g}x baseline" if most else f"<= {limit * 1e3:g} ms" if limit else ""
    met = (ratio <= most if ratio else None) if most else (value <= limit if value and limit else None)
    row(label, ms(value), ms(base), f"{ratio:.2f}x" if ratio else "", target, met)


for run, words, most in (("fresh", "fresh folder", 2), ("second", "second run", 3)):
    for lines in (1000, 10000, 100000):
        timed(f"purge, {words}, {lines:,} lines", f"purge/{run}/{lines}", most if lines == 100000 else None)
for run, words, limit in (("fresh", "fresh folder", 12), ("second", "second run", None)):
    case, base = (quotient(median.get(f"{side}purge/{run}/100000"), median.get(f"{side}purge/{run}/10000"))
                  for side in ("", "baseline/"))
    row(f"purge growth 100,000 / 10,000, {words}", f"{case:.2f}" if case else "-", f"{base:.2f}" if base else "-",
        "", f"<= {limit}" if limit else "", case <= limit if case and limit else None)
timed("load server list, 10,000 servers", "load_server_list/10000")
timed("status query, 50 MiB result, pause 0", "status_query/50MiB", most=4)
timed("status query, endless answer cut at 256 MiB, pause 0", "status_query/endless")
timed("key typed into Text3 after a fresh 100,000-line purge", "text3_key_after_fresh_purge", limit=0.020)
timed("Text3 scrolled to the end of that line", "text3_scroll_to_end", limit=0.020)
timed("key typed into the middle of a 20,000,000-character line", "text3_key_in_20M_line", limit=0.020)
timed("purge report, sorting 100,000 result files", "purge_report/100000", most=1.5)
timed("key typed into Text3 while a 100,000-line report is made", "text3_key_while_reporting", limit=0.020)
timed("first key three characters into a fresh 20,000,000-character line", "text3_first_key_in_fresh_20M_line",
      limit=0.020)
timed("Backspace in an edited 20,000,000-character line", "text3_backspace_in_edited_20M_line", limit=0.020)
timed("Left in an edited 20,000,000-character line", "text3_left_in_edited_20M_line", limit=0.020)
timed("window start to first paint (baseline: bare window)", "window_start", most=1.3)
for label, name, limit in (("purge, fresh folder, 100,000 lines", "purge/fresh/100000", 150),
                           ("purge, second run, 100,000 lines", "purge/second/100000", 200),
                           ("status query, 50 MiB result (3x file)", "status_query/50MiB", 150)):
    value, before = peak.get("peak/" + name, (None, None))
    row("peak memory, " + label, f"{value:.1f} MiB" if value else "-", f"{before:.1f} MiB before" if before else "-",
        "", f"< {limit} MiB", value < limit if value else None)

widths = [max(len(r[i]) for r in rows) for i in range(6)]
for r in rows:
    print("  ".join(c.ljust(w) if i in (0, 4) else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))).rstrip())
missed = sum(r[5] == "MISSED" for r in rows)
print("\n".join(errors + [f"{missed} target{'' if missed == 1 else 's'} missed."]))
sys.exit(1 if errors else 0)
