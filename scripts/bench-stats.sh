#!/usr/bin/env bash
# Benchmark of `tallix-publish stats`: builds the tool and the log maker (tests/bench/report_log.cpp)
# natively with -O2, without sanitizers, makes a statistics-host log of REQUESTS requests (500,000
# by default; reports of both kinds, other requests and malformed ones, in JSON and access-log
# lines), and prints the time (wall and CPU) and peak memory of loading it into a new database, of loading it
# again (every report known), of the summaries alone and of the page, and the database's size.
# Usage: scripts/bench-stats.sh [REQUESTS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
requests=${1:-500000}
out="$root/build/bench-stats"
. "$root/scripts/bench-build.sh"
stats_tools "$out"

log="$out/requests.log"
db="$out/reports.db"
rm -f "$db" "$out/stats.html"
"$out/report_log" "$requests" >"$log"
echo "stats, native, -O2, $(nproc) cores (shared), $(date -u +%Y-%m-%d)"
mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1000000 }'; }
echo "log: $requests requests, $(mb "$log") MB"
# Runs the tool and prints its wall and CPU time, its peak memory and what it says it loaded.
measure() {
  local what=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$out/time.txt" "$out/tallix-publish" stats "$@" >"$out/out.txt" ||
    true
  read -r wall user system kib < <(tail -n 1 "$out/time.txt")
  awk -v w="$what" -v e="$wall" -v c="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" \
    -v k="$kib" -v l="$(grep -m1 "^loaded" "$out/out.txt" || true)" \
    'BEGIN { printf "%-34s %7.2f s (CPU %6.2f s)  peak %6.1f MiB  %s\n", w, e, c, k / 1024, l }'
}
measure "load into a new database" "$log" --db "$db"
measure "load again (every report known)" "$log" --db "$db"
measure "summaries from the database" "$db"
measure "summaries and the page" "$db" --html "$out/stats.html"
echo "database: $(mb "$db") MB; the page: $(stat -c %s "$out/stats.html") bytes"
