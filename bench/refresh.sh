#!/usr/bin/env bash
# What one refresh of the strip costs on Linux, stage by stage (collection,
# composition, drawing, copy), against the floor of reading the same kernel
# sources: CPU time and heap allocations from a native run, instructions from
# a run under callgrind, each on a private Xvfb; the whole refresh again on a
# desktop at 200 %.
# Usage: bench/refresh.sh [results folder]   (default build/bench)
# Writes refresh.md (a markdown fragment) and refresh-goals.tsv there, and
# prints the fragment.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
results=${1:-build/bench}
mkdir -p "$results"
results=$(cd "$results" && pwd)
cd "$root"

command -v valgrind >/dev/null || { echo "valgrind is not installed (run scripts/install-deps.sh as root)" >&2; exit 1; }

# The release build, as `make bench` measures it.
(
  flock 9
  [ -f build/linux-release/build.ninja ] || cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target kivo_refresh_bench >/dev/null
) 9>/tmp/kivo-build-linux-release.lock
program=build/linux-release/bench/kivo_refresh_bench

work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-refresh.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs a command on a private Xvfb whose desktop asks for `dpi` (96: the
# server's own resources, no Xft.dpi at all).
on_xvfb_at() {
  local dpi=$1
  shift
  # shellcheck disable=SC2016 # expanded by the inner shell
  tests/with_xvfb.sh bash -c '[ "$0" = 96 ] || echo "Xft.dpi: $0" | xrdb -nocpp -merge; exec "$@"' \
    "$dpi" "$@"
}

# measure DPI NAME: the native and callgrind runs on a desktop at DPI, into
# $work/NAME-native.tsv and $work/NAME-instructions.tsv.
measure() {
  local dpi=$1 name=$2 dump phase
  # Natively: 10 rounds of 500 refreshes of each phase, the cheapest round kept.
  on_xvfb_at "$dpi" "$program" 500 10 >"$work/$name-native.tsv"
  # Under callgrind instructions do not depend on the machine's load: one round
  # of 200 is enough, and quicker.
  mkdir -p "$work/$name"
  on_xvfb_at "$dpi" valgrind --tool=callgrind --callgrind-out-file="$work/$name/callgrind.%p" \
    "$program" "$callgrind_runs" 1 >"$work/$name-callgrind.tsv" 2>"$work/$name-valgrind.log" || {
    cat "$work/$name-valgrind.log" >&2
    exit 1
  }
  # Every phase is dumped on its own, named after it.
  for dump in "$work/$name"/callgrind.*.*; do
    phase=$(sed -n 's/^desc: Trigger: Client Request: //p' "$dump")
    [ -n "$phase" ] || continue
    printf '%s\t%s\n' "$phase" "$(sed -n 's/^summary: //p' "$dump")"
  done >"$work/$name-instructions.tsv"
}

callgrind_runs=200
measure 96 scale100
# The same refresh on a desktop at 200 %: fonts twice the pixels, every fill
# and copy twice as wide and high.
measure 192 scale200

python3 - "$work" "$callgrind_runs" "$results" <<'EOF'
import csv, sys

work, callgrind_runs, results = sys.argv[1:]

def read_native(name):
    return {row["phase"]: row for row in csv.DictReader(open(f"{work}/{name}-native.tsv"), delimiter="\t")}

def read_ir(name):
    counts = {}
    for line in open(f"{work}/{name}-instructions.tsv"):
        phase, total = line.split("\t")
        counts[phase] = int(total) / int(callgrind_runs)
    return counts

native, ir = read_native("scale100"), read_ir("scale100")
native200, ir200 = read_native("scale200"), read_ir("scale200")

def cpu(phase):
    return float(native[phase]["client_cpu_us"])

# Drawing into the back buffer is what a refresh costs beyond the other stages.
def split(total, collection, composition, copy):
    return [collection, composition, total - collection - composition - copy, copy, total]

# Instructions do not change with where a stage runs: each stage's own phase.
def ir_stages(view):
    return split(ir[view + "_refresh"], ir[view + "_collection"], ir[view + "_composition"],
                 ir[view + "_copy"])

# CPU time does: collection and copy as timed inside whole refreshes (the
# split phase, its clock readings taken out), composition, under a
# microsecond, from its own phase. Their shares of the split refresh are
# applied to the refresh that ran with no clock at all.
def cpu_stages(view):
    stages = split(cpu(view + "_split"), cpu(view + "_split_collection"),
                   cpu(view + "_composition"), cpu(view + "_split_copy"))
    scale = cpu(view + "_refresh") / stages[-1]
    return [stage * scale for stage in stages]

rows = []
ratios = {}
worst_allocations = 0.0
for view, label in (("text", "text view"), ("bar", "bar view")):
    runs = int(native[view + "_refresh"]["runs"])
    allocations = int(native[view + "_refresh"]["allocations"]) / runs
    worst_allocations = max(worst_allocations, allocations)
    ratio_cpu = cpu(view + "_refresh") / cpu(view + "_floor")
    ratio_ir = ir[view + "_refresh"] / ir[view + "_floor"]
    ratios[label] = ratio_cpu
    rows.append([label] + ir_stages(view) + cpu_stages(view) +
                [float(native[view + "_refresh"]["server_cpu_us"]), allocations,
                 f"{ratio_cpu:.2f} (Ir {ratio_ir:.0f})"])
for view, label in (("text", "floor: the text view's reads"), ("bar", "floor: the bar view's reads")):
    phase = view + "_floor"
    runs = int(native[phase]["runs"])
    rows.append([label, ir[phase], None, None, None, ir[phase], cpu(phase), None, None, None, cpu(phase),
                 float(native[phase]["server_cpu_us"]), int(native[phase]["allocations"]) / runs, "1"])

def cell(value, digits):
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    return f"{value:,.{digits}f}"

header = ["", "Ir collection", "Ir composition", "Ir drawing", "Ir copy", "Ir total",
          "CPU µs collection", "CPU µs composition", "CPU µs drawing", "CPU µs copy", "CPU µs total",
          "X server CPU µs", "allocations", "refresh/floor (CPU)"]
lines = ["One refresh of the strip on Linux (release build, real X on a private Xvfb), per refresh.",
         "",
         "| " + " | ".join(header) + " |",
         "|" + "|".join(["---"] + ["---:"] * (len(header) - 1)) + "|"]
for row in rows:
    cells = [row[0]] + [cell(v, 0) for v in row[1:6]] + [cell(v, 2) for v in row[6:12]] + \
            [cell(row[12], 3), cell(row[13], 2)]
    lines.append("| " + " | ".join(cells) + " |")
lines += [
    "",
    "- Collection: the probes (/proc/stat, /proc/net/dev twice) and the clock, memory, disk and "
    "power readings; in the bar view, the memory figures. Composition: formatting the status line; "
    "in the bar view, the bar labels' texts. Copy: the back buffer onto the window and the flush "
    "that sends the X requests. Drawing: the rest of a refresh, into the back buffer.",
    "- CPU µs: the client's user plus system time (getrusage), the cheapest of 10 rounds of 500. "
    "The split: collection and copy timed inside whole refreshes with the thread's CPU clock "
    "(they cost more there than alone: shared caches, the X server waking between them), "
    "composition timed alone, drawing the remainder; each stage's share of those refreshes is "
    "applied to the total, which was taken with no clock in the way. The X server draws in its own process: its CPU time (from its scheduler "
    "statistics) is the X server column and is in no other column.",
    "- Ir: instructions in user space under callgrind, 200 runs of each stage on its own; drawing "
    "is the remainder. The kernel's work for a read is in the CPU time only, so the floor is "
    "nearly all system time and its Ir is small.",
    "- The floor reads each of the view's kernel sources once, with nothing parsed or drawn; "
    "each view is set against its own. Allocations are counted after warm-up, every glyph "
    "drawn once.",
]
lines += ["",
          "The same refresh on a desktop at 100 % and at 200 % (Xft.dpi 192: a strip of 900 x 28 "
          "pixels, its font at twice the pixel size), per refresh:",
          "",
          "| | Ir 100 % | Ir 200 % | CPU µs 100 % | CPU µs 200 % | X server CPU µs 100 % | X server CPU µs 200 % | allocations 200 % |",
          "|---|---:|---:|---:|---:|---:|---:|---:|"]
for view, label in (("text", "text view"), ("bar", "bar view")):
    phase = view + "_refresh"
    runs200 = int(native200[phase]["runs"])
    worst_allocations = max(worst_allocations, int(native200[phase]["allocations"]) / runs200)
    lines.append("| " + " | ".join([label, cell(ir[phase], 0), cell(ir200[phase], 0),
                                     cell(cpu(view + "_refresh"), 2),
                                     cell(float(native200[phase]["client_cpu_us"]), 2),
                                     cell(float(native[phase]["server_cpu_us"]), 2),
                                     cell(float(native200[phase]["server_cpu_us"]), 2),
                                     cell(int(native200[phase]["allocations"]) / runs200, 3)]) + " |")
fragment = "\n".join(lines) + "\n"
open(f"{results}/refresh.md", "w").write(fragment)

limit_ratio = 3
goals = [
    ("refresh/floor ratio (text view)", f"{ratios['text view']:.2f}", str(limit_ratio),
     ratios["text view"] <= limit_ratio),
    ("refresh/floor ratio (bar view)", f"{ratios['bar view']:.2f}", str(limit_ratio),
     ratios["bar view"] <= limit_ratio),
    ("allocations per refresh", f"{worst_allocations:g}", "0", worst_allocations == 0),
]
with open(f"{results}/refresh-goals.tsv", "w") as tsv:
    for goal, measured, limit, met in goals:
        tsv.write(f"{goal}\t{measured}\t{limit}\t{'yes' if met else 'no'}\n")
sys.stdout.write(fragment)
EOF
