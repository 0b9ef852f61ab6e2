#include "tools/publish/stats_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "tools/code_page.h"
#include "tools/publish/output.h"
#include "tools/publish/report_load.h"
#include "tools/publish/stats_html.h"

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kFailed = 2;

int Fail(std::ostream& err, const std::string& problem) {
    err << "tallix-publish: " << TerminalSafe(problem) << "\n";
    return kFailed;
}

void PrintJson(std::ostream& out, const LoadResult& loaded, const std::vector<Summary>& summaries) {
    out << "{\"added\":" << loaded.added << ",\"known\":" << loaded.known
        << ",\"malformed\":" << loaded.malformed << ",\"malformedLines\":[";
    for (std::size_t i = 0; i < loaded.firstMalformed.size(); ++i) {
        out << (i ? "," : "") << "{\"source\":" << Json(loaded.firstMalformed[i].source)
            << ",\"reason\":" << Json(loaded.firstMalformed[i].reason) << "}";
    }
    out << "],\"summaries\":[";
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        out << (i ? "," : "") << "{\"id\":" << Json(summaries[i].definition->id)
            << ",\"title\":" << Json(summaries[i].definition->title) << ",\"rows\":[";
        for (std::size_t r = 0; r < summaries[i].rows.size(); ++r) {
            out << (r ? "," : "") << "[";
            for (std::size_t c = 0; c < summaries[i].rows[r].size(); ++c)
                out << (c ? "," : "") << Json(summaries[i].rows[r][c]);
            out << "]";
        }
        out << "]}";
    }
    out << "]}\n";
}

void PrintText(std::ostream& out, bool loadedLogs, const LoadResult& loaded,
               const std::vector<Summary>& summaries) {
    if (loadedLogs) {
        out << "loaded " << loaded.added << " new report(s), " << loaded.known << " already known, "
            << loaded.malformed << " malformed\n";
    }
    if (!loaded.firstMalformed.empty()) {
        const std::size_t shown = loaded.firstMalformed.size();
        const bool cut = loaded.malformed > static_cast<long long>(shown);
        out << "\nmalformed lines ("
            << (cut ? "the first " + std::to_string(shown) + "; " : std::string())
            << "each one is kept in the table \"malformed\"):\n";
        std::vector<std::vector<std::string>> rows = {{"line", "reason"}};
        for (const MalformedRow& m : loaded.firstMalformed)
            rows.push_back({m.source, m.reason});
        PrintTable(out, rows);
    }
    for (const Summary& summary : summaries) {
        out << "\n" << summary.definition->title << ":\n";
        PrintTable(out, summary.rows);
    }
}

// Writes the page beside its place and moves it there whole.
bool WritePage(const std::string& path, const std::string& page, std::string& problem) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << page;
        if (!file.flush()) {
            problem = "cannot write " + temporary;
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        problem = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

int RunStatsCommand(const StatsOptions& options, std::ostream& out, std::ostream& err,
                    std::ostream* terminal) {
    if (options.inputs.empty())
        return Fail(err, "stats takes one or more logs, or one database");
    if (!CodePageToUtf8(options.encoding, "test"))
        return Fail(err, "unknown encoding " + options.encoding);
    const bool fromDb = options.inputs.size() == 1 && IsSqliteFile(options.inputs[0]);
    std::vector<std::unique_ptr<std::ifstream>> logs;
    for (const std::string& input : options.inputs) {
        if (input == "-" || fromDb)
            continue;
        if (IsSqliteFile(input))
            return Fail(err, input + " is a database: stats takes logs, or one database alone");
        auto file = std::make_unique<std::ifstream>(input, std::ios::binary);
        if (!*file || std::filesystem::is_directory(input))
            return Fail(err, "cannot read " + input);
        logs.push_back(std::move(file));
    }
    std::string error;
    const std::unique_ptr<ReportStore> store =
        OpenSqliteStore(fromDb ? options.inputs[0] : options.db, error);
    if (!store)
        return Fail(err, error);

    LoadResult loaded;
    LoadProgress progress(terminal, std::chrono::milliseconds(250));
    std::size_t next = 0;
    for (const std::string& input : options.inputs) {
        if (fromDb)
            break;
        std::error_code size;
        std::istream& in = input == "-" ? std::cin : *logs[next++];
        LoadLog(in, input, input == "-" ? 0 : std::filesystem::file_size(input, size),
                options.encoding, *store, progress, loaded);
        if (!loaded.error.empty())
            return Fail(err, "cannot store the reports of " + input + ": " + loaded.error);
    }

    const std::vector<Summary> summaries = store->Summaries();
    if (summaries.empty())
        return Fail(err, "cannot read the summaries: " + store->Error());
    if (!options.html.empty()) {
        PageTotals totals;
        SummaryRows count;
        if (store->Query("SELECT COUNT(*) FROM malformed", count) && !count.empty())
            totals.malformed = std::atoll(count[0][0].c_str());
        if (!WritePage(options.html, StatsPage(summaries, totals), error))
            return Fail(err, error);
    }
    if (options.json) {
        PrintJson(out, loaded, summaries);
    } else {
        PrintText(out, !fromDb, loaded, summaries);
        if (!options.html.empty())
            out << "\nthe page: " << TerminalSafe(options.html) << "\n";
    }
    return loaded.malformed > 0 ? kFindings : kClean;
}
