#!/usr/bin/env bash
# Benchmark of the statistics stores: builds tallix-publish, the log maker and the summary timer
# natively with -O2 (scripts/bench-build.sh), makes a statistics-host log of about REPORTS
# reports (1,000,000 by default) and loads it into SQLite, into one ClickHouse server and into two
# ClickHouse shards (one loader, then two at once), printing for each the load's time, the
# loader's peak memory, each summary query's time and the size on disk (tests/bench/stats_stores.py).
# The ClickHouse servers run as plain processes on loopback ports, in build/bench-stats-stores.
# Usage: scripts/bench-stats-stores.sh [REPORTS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
reports=${1:-1000000}
out="$root/build/bench-stats-stores"
. "$root/scripts/bench-build.sh"
stats_tools "$root/build/bench-stats"
rm -rf "$out"
mkdir -p "$out"
echo "statistics stores, native, -O2, $(nproc) cores (shared), ClickHouse" \
  "$(clickhouse-client --version 2>/dev/null | grep -o '[0-9][0-9.]*' | head -n1), $(date -u +%Y-%m-%d)"
python3 "$root/tests/bench/stats_stores.py" "$out" "$root/build/bench-stats/tallix-publish" \
  "$root/build/bench-stats/report_log" "$root/build/bench-stats/summary_times" "$reports"
rm -f "$out"/*.log "$out"/*.db
