#!/usr/bin/env python3
"""Writes docs/PERFORMANCE.md from the results folder of scripts/bench.

Usage: bench_report.py RESULTS_DIR OUT_FILE

RESULTS_DIR holds machine.txt, commands.txt, after/*.json and before/*.json (Google Benchmark
JSON, aggregates only), idle.txt and e2e.txt. Figures are medians of the repetitions, CPU time.
"""
import json
import re
import sys
from pathlib import Path

TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}



HAND_MARKER = "<!-- Measured by hand from here on: scripts/bench keeps what follows. -->"

def load_runs(folder):
    """({case: median entry}, {case: [entry of each repetition]}) from every JSON file."""
    medians, runs = {}, {}
    for path in sorted(Path(folder).glob("*.json")):
        try:
            data = json.loads(path.read_text())
        except (OSError, ValueError):
            continue
        for b in data.get("benchmarks", []):
            name = b.get("run_name", b["name"])
            if b.get("run_type", "iteration") == "iteration":
                runs.setdefault(name, []).append(b)
            elif b.get("aggregate_name") == "median":
                medians[name] = b
    for name, entries in runs.items():
        medians.setdefault(name, entries[len(entries) // 2])
    return medians, runs


def cpu_ns(entry):
    return entry["cpu_time"] * TO_NS[entry.get("time_unit", "ns")]


def real_ns(entry):
    return entry["real_time"] * TO_NS[entry.get("time_unit", "ns")]


def read(path):
    p = Path(path)
    return p.read_text() if p.exists() else ""


def fmt(value, digits=3):
    if value is None:
        return "—"
    if abs(value) >= 1e6:
        return f"{value:,.0f}".replace(",", " ")
    if abs(value) >= 100:
        return f"{value:.0f}"
    return f"{value:.{digits}g}"


class Figure:
    """One measured quantity: how to get it from a case, in which unit."""

    def __init__(self, label, case, unit, get, target=None, met=None, note=""):
        self.label, self.case, self.unit, self.get = label, case, unit, get
        self.target, self.met, self.note = target, met, note

    def lower_is_better(self):
        return self.unit in ("ns", "µs", "ms", "ns/line", "bytes")

    def value(self, cases):
        entry = cases.get(self.case)
        if entry is None:
            return None
        try:
            return self.get(entry)
        except (KeyError, ZeroDivisionError):
            return None

    def worst(self, runs):
        """The least favourable repetition: a target holds only if every run meets it."""
        try:
            values = [self.get(e) for e in runs.get(self.case, [])]
        except (KeyError, ZeroDivisionError):
            return None
        if not values:
            return None
        return max(values) if self.lower_is_better() else min(values)


def counter(name):
    return lambda e: e[name]


# The window bench's drain case for a list of that many lines.
WINDOW_DRAIN = "BM_WindowDrain5000/{}/iterations:50/real_time"

FIGURES = [
    Figure("Line store, 10 M event lines: bytes per line beyond the text",
           "BM_LineStoreAppend/10000000", "bytes", counter("overhead_bytes_per_line"),
           "≤ 8", lambda v: v <= 8),
    Figure("Line store: appending 10 M event lines", "BM_LineStoreAppend/10000000", "lines/s",
           counter("lines_per_second"), "≥ 5 000 000", lambda v: v >= 5e6),
    Figure("Line store: appending 100 000 event lines to a fresh list",
           "BM_LineStoreAppend/100000", "lines/s", counter("lines_per_second"),
           "≥ 5 000 000", lambda v: v >= 5e6),
    Figure("Drain of 5 000 event lines into a list of 10 M lines (core: drain, statistics, "
           "marking; ten drains of 500)", "BM_DrainFiveThousandOntoTenMillion", "ms",
           lambda e: cpu_ns(e) / 1e6, "< 10 (with the window's model update and repaint)",
           lambda v: v < 10, "the window's model update and repaint come on top"),
    Figure("Window: 5 000 event lines onto a list of 10 M lines, drain, the view's model update "
           "and scroll, and its repaint (800x600 offscreen; ten drains of 500, one Sync, one "
           "repaint), wall time", WINDOW_DRAIN.format(10000000), "ms", lambda e: real_ns(e) / 1e6,
           "< 10", lambda v: v < 10),
    Figure("Window: the same, CPU time", WINDOW_DRAIN.format(10000000), "ms",
           lambda e: cpu_ns(e) / 1e6),
    Figure("Window: the same, the slowest of its 50 iterations, wall time",
           WINDOW_DRAIN.format(10000000), "ms", counter("slowest_ms")),
    Figure("Window: the same, the view's Sync alone (new rows, width, scroll)",
           WINDOW_DRAIN.format(10000000), "ms", counter("sync_ms")),
    Figure("Window: the same, the repaint alone", WINDOW_DRAIN.format(10000000), "ms",
           counter("repaint_ms")),
    Figure("Window: memory the view of a 10 M-line list adds per line (resident, beyond the "
           "list's)", WINDOW_DRAIN.format(10000000),
           "bytes", counter("view_bytes_per_line")),
    Figure("Window: 5 000 event lines onto a list of 1 M lines, wall time",
           WINDOW_DRAIN.format(1000000), "ms", lambda e: real_ns(e) / 1e6),
    Figure("Window: 5 000 event lines onto an empty list, wall time", WINDOW_DRAIN.format(0), "ms",
           lambda e: real_ns(e) / 1e6),
    Figure("Window: statistics table redrawn by a drain, its view's Sync and repaint, wall time",
           "BM_WindowStatisticsRedraw/real_time", "ms", lambda e: real_ns(e) / 1e6),
    Figure("Drain, per note-on line (512 per drain, statistics redraw included)",
           "BM_DrainPerEventLine", "ns/line", lambda e: cpu_ns(e) / 512),
    Figure("Statistics redraw, every cell counted", "BM_StatisticsRedrawFullTable", "µs",
           lambda e: cpu_ns(e) / 1e3),
    Figure("Callback, one short message", "BM_CallbackShortMessage", "ns", cpu_ns),
    Figure("Callback, one returned 64-byte buffer", "BM_CallbackReturnedBuffer", "ns", cpu_ns),
    Figure("Sysex decoding of the device's traffic mix", "BM_SysexDecodeMix", "MB/s",
           counter("MB/s"), "≥ 1 (the 1 MB/s stream)",
           lambda v: v >= 1),
    Figure("Sysex through the queue and the drain", "BM_SysexDrainMix", "MB/s",
           counter("MB/s"), "≥ 1 (the 1 MB/s stream)",
           lambda v: v >= 1),
    Figure("Line store: a line at a random place of 10 M", "BM_LineStoreRandomAccess", "ns", cpu_ns),
    Figure("Line store: the next line of 10 M", "BM_LineStoreSequentialAccess", "ns", cpu_ns),
]


def verdict(figure, value):
    if figure.met is None:
        return ""
    if value is None:
        return "not measured"
    return "met" if figure.met(value) else "**missed**"


def parse_idle(text):
    out = {}
    for line in text.splitlines():
        m = re.match(r"(\w+): ([\d.]+) CPU s in (\d+) s = ([\d.]+) % of one core"
                     r" \(main thread ([\d.]+) CPU s = ([\d.]+) %\)", line)
        if m:
            out[m.group(1)] = (float(m.group(4)), float(m.group(2)), int(m.group(3)),
                               float(m.group(6)))
    return out


def parse_e2e(text):
    rows = []
    for line in text.splitlines():
        m = re.match(r"rate (\d+)/s: sent (\d+) shown (\d+) lost (\d+)(.*)", line)
        if m:
            rows.append((int(m.group(1)), int(m.group(2)), int(m.group(3)), int(m.group(4)),
                         m.group(5).strip()))
    return rows


def verdict_of(ok):
    return "met" if ok else "**missed**"


def e2e_rows(e2e):
    """Target rows from the outputs of scripts/bench-e2e, by mode; raw text is shown below."""
    rows = []
    for front, label in (("console", "`tessaly --console`"), ("window", "the window (offscreen)")):
        found = [r for r in parse_e2e(e2e.get(front, "")) if r[0] == 100000]
        if not found:
            rows.append(f"| End to end through JACK, {label}, 100 000 short events/s for 10 s | — | "
                        "— | events | 0 lost | not measured |")
            continue
        rate, sent, shown, lost, rest = found[0]
        rows.append(f"| End to end through JACK, {label}, {rate} short events/s, {sent} sent: events "
                    f"the monitor lost (what it counted lost) | — | {lost} | events | 0 | "
                    f"{verdict_of(lost == 0)} |")
        rows.append(f"| the same run: events sent but not shown, whatever the cause {rest} | — | "
                    f"{sent - shown} | events | 0 | {verdict_of(sent == shown)} |")
    for front in ("console", "window"):
        text = e2e.get(f"sysex-{front}", "")
        m = re.search(r"sysex (\S+): sent (\d+) bytes in (\d+) s; sysex lines expected (\d+) "
                      r"shown (\d+)", text)
        if m:
            expected, shown = int(m.group(4)), int(m.group(5))
            rows.append(f"| End to end, {m.group(1)}: {m.group(2)} bytes of device-family sysex in "
                        f"{m.group(3)} s: sysex lines not shown | — | {expected - shown} | lines | "
                        f"0 | {verdict_of(expected == shown)} |")
        else:
            rows.append(f"| End to end, {front}: 1 MB/s of device-family sysex | — | — | bytes lost "
                        "| 0 | not measured |")
    for key, rate in (("peer", "100 000"), ("peer-10k", "10 000")):
        peer = e2e.get(key, "")
        ratio = re.search(r"ratio tessaly/jack_midi_dump: CPU per event ([\d.]+)", peer)
        dump = re.search(r"jack_midi_dump: shown (\d+) lost (\d+)", peer)
        ours = re.search(r"tessaly --console: shown (\d+) lost (\d+)", peer)
        if ratio:
            r = float(ratio.group(1))
            rows.append(f"| Beside `jack_midi_dump`, the same stream at {rate} events/s: CPU per "
                        f"event, Tessaly / jack_midi_dump | — | {r:.2f} | ratio | ≤ 1 | "
                        f"{verdict_of(r <= 1)} |")
        else:
            rows.append(f"| Beside `jack_midi_dump` at {rate} events/s: CPU per event, Tessaly / "
                        "jack_midi_dump | — | — | ratio | ≤ 1 | not measured |")
        if dump and ours:
            peer_lost, our_lost = int(dump.group(2)), int(ours.group(2))
            rows.append(f"| the same run: events lost, Tessaly (jack_midi_dump lost {peer_lost}) | "
                        f"— | {our_lost} | events | no more than the peer | "
                        f"{verdict_of(our_lost <= peer_lost)} |")
    return rows


def main():
    results, out = Path(sys.argv[1]), Path(sys.argv[2])
    after, after_runs = load_runs(results / "after")
    before, before_runs = load_runs(results / "before")
    base = read(results / "before" / "commit.txt").strip()
    machine = read(results / "machine.txt").strip()
    commands = read(results / "commands.txt").strip()
    idle = parse_idle(read(results / "idle.txt"))
    e2e_files = sorted(results.glob("e2e-*.txt"))
    e2e_text = "\n\n".join(read(f).strip() for f in e2e_files)
    e2e = {f.stem[4:]: read(f) for f in e2e_files}

    md = ["# Performance", ""]
    md += ["Written by `scripts/bench` (about a quarter of an hour; not part of `scripts/test`). "
           "Benchmark figures are in CPU time of the measuring thread, so that the load of a shared machine inflates them less than wall time (the window rows that say wall time excepted); "
           "the load averages are below. "
           + (f"\"Before\" is the same benchmark code built against the core of commit `{base}`."
              if base else "No \"before\" column in this run."), ""]
    md += ["## Machine", "", "```", machine, "```", ""]

    md += ["## Targets", "",
           "Benchmark rows give the least favourable repetition (a target holds only if every run "
           "meets it); the table of every benchmark below gives medians.", "",
           "| what | before | after | unit | target | |",
           "| --- | ---: | ---: | --- | --- | --- |"]
    for f in FIGURES:
        if f.target is None:
            continue
        a, b = f.worst(after_runs), f.worst(before_runs)
        md.append(f"| {f.label} | {fmt(b)} | {fmt(a)} | {f.unit} | {f.target} | {verdict(f, a)} |")
    if "peer" in idle:
        pct, cpu, secs, main_pct = idle["peer"]
        md.append(f"| For comparison, `jack_midi_dump` on the same silent server ({cpu:.2f} CPU s in "
                  f"{secs} s): what a JACK client's period wake-ups cost by themselves | — | "
                  f"{pct:.3f} | % of one core | — | |")
    for label in ("console", "window"):
        if label in idle:
            pct, cpu, secs, main_pct = idle[label]
            what = ("Idle, `tessaly --console` on a silent JACK port" if label == "console"
                    else "Idle, the window (offscreen) on a silent JACK port")
            md.append(f"| {what}: the whole process ({cpu:.2f} CPU s in {secs} s) | — | "
                      f"{pct:.3f} | % of one core | < 0.2 | {'met' if pct < 0.2 else '**missed**'} |")
            md.append(f"| {what}: its main thread alone (the rest is the MIDI service's, the JACK "
                      f"client's process thread among them) | — | {main_pct:.3f} | % of one core | "
                      f"< 0.2 | {'met' if main_pct < 0.2 else '**missed**'} |")
        else:
            md.append(f"| Idle, {label} on a silent port | — | — | % of one core | < 0.2 | "
                      "not measured |")
    md += e2e_rows(e2e)
    md.append("")

    md += ["## Every benchmark", "", "| case | before | after | unit |", "| --- | ---: | ---: | --- |"]
    for f in FIGURES:
        a, b = f.value(after), f.value(before)
        change = ""
        if a and b:
            lower_is_better = f.lower_is_better()
            better = b / a if lower_is_better else a / b
            if better >= 1:
                change = f" ({better:.2g}× {'less' if lower_is_better else 'more'})"
            else:
                change = f" ({1 / better:.2g}× {'more' if lower_is_better else 'less'})"
        md.append(f"| {f.label} (`{f.case}`) | {fmt(b)} | {fmt(a)}{change} | {f.unit} |")
    listed = {f.case for f in FIGURES}
    for name in sorted(after):
        if name in listed:
            continue
        a, b = after[name], before.get(name)
        md.append(f"| `{name}` | {fmt(cpu_ns(b) if b else None)} | {fmt(cpu_ns(a))} | ns CPU per "
                  "iteration |")
    md.append("")

    md += ["## Reading the figures", "",
           "- The drain of 5 000 lines onto 10 M is the core's share (drain, statistics, marking); "
           "the window's model update and repaint come on top. The window rows measure the whole "
           "on Qt's offscreen platform: events delivered through the fake service's callback "
           "outside the timing, ten drains of 500 (the ring holds 512), one Sync of the list view, "
           "one synchronous repaint of its viewport and the posted events left after it; 50 "
           "iterations, so the list grows by 250 000 lines during the case. Their slowest iteration "
           "is one whose drain starts a fresh 2 MiB page of the line store (the kernel zeroes it "
           "at its first touch) or that the machine's load interrupted.",
           "- Idle, whole process: besides the main thread it counts the MIDI service's threads, "
           "among them the JACK client's process thread, which the server wakes at every cycle "
           "(here 48 000 / 512 = 94 times a second) whether MIDI arrives or not.",
           "- Idle, the target of 0.2 % of a core: JACK's own monitor, connected to nothing on the "
           "same server, shows what those period wake-ups cost by themselves; the main thread row "
           "is what Tessaly adds (its 100 ms drain timer and the event loop).",
           "- End to end: the JACK server runs with realtime scheduling where the machine allows "
           "it (the line \"JACK server: ...\" of each run says which). A client late for a cycle "
           "still loses that cycle's input (\"JACK cycles the monitor missed\"): on this virtual "
           "machine the server's own timer thread is sometimes late too. \"sender port buffer "
           "full\" are events the sender could not put into JACK.",
           "- Beside jack_midi_dump: the rate of 100 000 events/s is far past what it keeps up "
           "with (it drops what its ring cannot hold and so writes far fewer lines); the run at "
           "10 000 events/s compares the two doing the same work per event.",
           "- The short-message callback case never drains, so the ring stays above its fill mark "
           "and every call exchanges the drain wake's flag; below the mark a call costs less.",
           "- Before and after ran one after the other on a loaded machine; differences of a few "
           "tens of percent between runs are load, not code.", ""]
    md += ["## End to end", "", "```", e2e_text or "not run", "```", ""]
    md += ["## Commands", "", "Run from the repository root (`build-bench` is a Release build).", "",
           "```", "scripts/bench", commands, "```", ""]
    out.parent.mkdir(parents=True, exist_ok=True)
    # The sections measured by hand, below the marker, are kept as they stand.
    kept = ""
    if out.exists():
        old = out.read_text()
        at = old.find(HAND_MARKER)
        if at >= 0:
            kept = "\n" + old[at:]
    out.write_text("\n".join(md) + kept)


if __name__ == "__main__":
    main()
