// Times each summary's query on a report store, as `stats` runs it, for the statistics benchmark:
//   summary_times RUNS --db PATH
//   summary_times RUNS --clickhouse URL [--cluster NAME]
// Prints one line per summary: its id, the first run's time, the best run's and its rows.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/publish/clickhouse_store.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: summary_times RUNS (--db PATH | --clickhouse URL"
                     " [--cluster NAME])\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const std::string kind = argv[2];
    std::string error;
    const std::unique_ptr<ReportStore> store =
        kind == "--db" ? OpenSqliteStore(argv[3], error)
                       : OpenClickHouseStore(argv[3], argc > 5 ? argv[5] : "", error);
    if (!store) {
        std::fprintf(stderr, "summary_times: %s\n", error.c_str());
        return 1;
    }
    for (const SummaryDefinition& summary : ReportSummaries()) {
        const std::string sql = SummarySql(summary, store->Dialect());
        double first = 0;
        double best = 1e9;
        std::size_t count = 0;
        for (int run = 0; run < runs; ++run) {
            SummaryRows rows;
            const auto start = std::chrono::steady_clock::now();
            if (!store->Query(sql, rows)) {
                std::fprintf(stderr, "summary_times: %s\n", store->Error().c_str());
                return 1;
            }
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            first = run == 0 ? seconds : first;
            best = std::min(best, seconds);
            count = rows.size();
        }
        std::printf("%-10s first %6.3f s  best of %d %6.3f s  %zu rows\n", summary.id, first, runs,
                    best, count);
    }
    return 0;
}
