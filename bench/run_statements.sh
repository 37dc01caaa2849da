#!/bin/sh
# Runs bench_statements and, on the same XLSX files, Python's openpyxl (load_workbook in
# read-only mode, every cell value visited), then prints the medians side by side with the
# ratio ours / openpyxl.
#   bench/run_statements.sh [BUILD_DIR] [REPETITIONS]     (BUILD_DIR: a Release build)
set -eu
build=${1:-build}
reps=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
statements="$build/bench/statements"
json=$(mktemp)
trap 'rm -f "$json"' EXIT

ninja -C "$build" bench_statements >/dev/null
"$build/bin/bench_statements" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
    --benchmark_format=console --benchmark_out="$json" --benchmark_out_format=json >&2

/usr/bin/python3 - "$json" "$statements" "$reps" <<'EOF'
import json
import statistics
import sys
import time

from openpyxl import load_workbook

report, statements, reps = sys.argv[1], sys.argv[2], int(sys.argv[3])
formats = ["xlsx", "xls", "txt", "html", "pdf"]
ours = {}
for b in json.load(open(report))["benchmarks"]:
    # One repetition gives no aggregates: its single figure stands for the median.
    if b.get("aggregate_name", "median" if reps == 1 else None) != "median":
        continue
    name, fmt, rows = b["run_name"].split("/")[:3]
    ours[(name, formats[int(fmt.split(":")[1])], int(rows.split(":")[1]))] = (b["real_time"], b["cpu_time"])


def openpyxl_ms(path):
    times = []
    for _ in range(reps):
        start = time.perf_counter()
        wb = load_workbook(path, read_only=True)
        cells = 0
        for ws in wb.worksheets:
            for row in ws.iter_rows(values_only=True):
                for value in row:
                    cells += 1
        wb.close()
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times), cells


# CPU time is this process's only: the XLS reader's child process is missing from it.
print("\nMedians of %d runs in ms (wall; CPU of the benchmark process in brackets)" % reps)
print("%-6s %7s %20s %20s" % ("format", "rows", "read", "read + parse"))
for fmt in formats:
    for rows in (1000, 10000):
        read, full = ours[("readStatement", fmt, rows)], ours[("readAndParseStatement", fmt, rows)]
        print("%-6s %7d %11.1f (%6.1f) %11.1f (%6.1f)" % (fmt, rows, read[0], read[1], full[0], full[1]))

print("\nXLSX: ours / openpyxl (read_only, all cell values)")
print("%7s %10s %8s %12s %16s" % ("rows", "openpyxl", "cells", "read ratio", "read+parse ratio"))
for rows in (1000, 10000):
    ms, cells = openpyxl_ms("%s/statement_%d.xlsx" % (statements, rows))
    read = ours[("readStatement", "xlsx", rows)][0]
    full = ours[("readAndParseStatement", "xlsx", rows)][0]
    print("%7d %10.1f %8d %12.2f %16.2f" % (rows, ms, cells, read / ms, full / ms))
EOF
