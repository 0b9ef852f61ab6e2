#include "tools/publish/stats_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "tools/code_page.h"
#include "tools/publish/clickhouse_store.h"
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

// A store that does not tell which reports it held already: the reports given to it, and null
// for "added" and "known".
void PrintJson(std::ostream& out, bool tellsKnown, const LoadResult& loaded,
               const std::vector<Summary>& summaries) {
    if (tellsKnown) {
        out << "{\"added\":" << loaded.added << ",\"known\":" << loaded.known;
    } else {
        out << "{\"added\":null,\"known\":null,\"written\":" << loaded.written;
    }
    out << ",\"malformed\":" << loaded.malformed << ",\"malformedLines\":[";
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

void PrintText(std::ostream& out, bool loadedLogs, bool tellsKnown, const LoadResult& loaded,
               const std::vector<Summary>& summaries) {
    if (loadedLogs && tellsKnown) {
        out << "loaded " << loaded.added << " new report(s), " << loaded.known << " already known, "
            << loaded.malformed << " malformed\n";
    } else if (loadedLogs) {
        out << "loaded " << loaded.written << " report(s), " << loaded.malformed
            << " malformed (the store counts each report once, however often it is loaded)\n";
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

// The --unloaded file, to which standard input's lines that no store took are appended: standard
// input cannot be read twice.
class Unloaded {
  public:
    explicit Unloaded(const std::string& path) : path_(path) {}

    std::ostream* Open() {
        if (!file_.is_open())
            file_.open(path_, std::ios::binary | std::ios::app);
        return file_ ? &file_ : nullptr;
    }

    // Keeps the rest of standard input; what to tell the publisher.
    std::string KeepRest() {
        std::ostream* out = Open();
        LogLineReader reader(std::cin);
        const long long lines = out ? reader.CopyRest(*out) : 0;
        return Said(out != nullptr && out->flush(), lines);
    }

    std::string Said(bool kept, long long lines) const {
        return kept ? std::to_string(lines) + " line(s) kept in " + path_ +
                          ", to load when the store takes them"
                    : "could not be kept in " + path_;
    }

  private:
    std::string path_;
    std::ofstream file_;
};

// What became of the lines of a log whose load the store failed, and of the inputs after it.
std::string Unstored(const std::string& input, const LoadResult& loaded,
                     const std::vector<std::string>& later, Unloaded& unloaded) {
    std::string text = "; the lines from " + input + ":" + std::to_string(loaded.firstUnstored) +
                       " on are not stored: ";
    text += input != "-"
                ? "load " + input + " again when the store takes them (what it holds counts once)"
                : unloaded.Said(loaded.kept >= 0, loaded.kept);
    if (!later.empty()) {
        text += "; not loaded:";
        for (const std::string& name : later)
            text += " " + (name == "-" ? "- (" + unloaded.KeepRest() + ")" : name);
    }
    return text;
}

// Loads every log into the store; false with the reason in `problem` when the store failed.
bool LoadInputs(const StatsOptions& options, std::vector<std::unique_ptr<std::ifstream>>& logs,
                ReportStore& store, std::ostream* terminal, LoadResult& loaded,
                std::string& problem) {
    LoadProgress progress(terminal, std::chrono::milliseconds(250));
    Unloaded unloaded(options.unloaded);
    LoadOptions load;
    load.encoding = options.encoding;
    load.batchLines = options.batchLines;
    std::size_t next = 0;
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
        const std::string& input = options.inputs[i];
        const bool standard = input == "-";
        load.unstored = nullptr;
        if (standard)
            load.unstored = [&unloaded] { return unloaded.Open(); };
        std::error_code size;
        LoadLog(standard ? std::cin : *logs[next++], input,
                standard ? 0 : std::filesystem::file_size(input, size), load, store, progress,
                loaded);
        if (!loaded.error.empty()) {
            const std::vector<std::string> later(options.inputs.begin() + static_cast<long>(i) + 1,
                                                 options.inputs.end());
            problem = "cannot store the reports of " + input + ": " + loaded.error +
                      Unstored(input, loaded, later, unloaded);
            return false;
        }
    }
    return true;
}

}  // namespace

int RunStatsCommand(const StatsOptions& options, std::ostream& out, std::ostream& err,
                    std::ostream* terminal) {
    const bool clickhouse = !options.clickhouse.empty();
    if (!options.cluster.empty() && !clickhouse)
        return Fail(err, "--cluster names a cluster of ClickHouse servers: give --clickhouse too");
    if (clickhouse && !options.db.empty())
        return Fail(err, "--db and --clickhouse name two stores: give one");
    if (options.inputs.empty() && !clickhouse)
        return Fail(err, "stats takes one or more logs, or one database");
    if (options.batchLines < 1)
        return Fail(err, "--batch takes a number of lines");
    if (!CodePageToUtf8(options.encoding, "test"))
        return Fail(err, "unknown encoding " + options.encoding);
    const bool fromDb =
        !clickhouse && options.inputs.size() == 1 && IsSqliteFile(options.inputs[0]);
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
    const std::string db = fromDb               ? options.inputs[0]
                           : options.db.empty() ? std::string("tallix-reports.db")
                                                : options.db;
    const std::unique_ptr<ReportStore> store =
        clickhouse ? OpenClickHouseStore(options.clickhouse, options.cluster, error)
                   : OpenSqliteStore(db, error);
    if (!store) {
        const bool standard =
            std::find(options.inputs.begin(), options.inputs.end(), "-") != options.inputs.end();
        Unloaded unloaded(options.unloaded);
        return Fail(err, error + (standard ? "; standard input: " + unloaded.KeepRest() : ""));
    }

    LoadResult loaded;
    if (!fromDb && !LoadInputs(options, logs, *store, terminal, loaded, error))
        return Fail(err, error);
    const std::vector<Summary> summaries = store->Summaries();
    if (summaries.empty())
        return Fail(err, "cannot read the summaries: " + store->Error());
    if (!options.html.empty()) {
        PageTotals totals;
        totals.malformed = std::max(0LL, store->MalformedLines());
        if (!WritePage(options.html, StatsPage(summaries, totals), error))
            return Fail(err, error);
    }
    if (options.json) {
        PrintJson(out, !clickhouse, loaded, summaries);
    } else {
        PrintText(out, !fromDb && !options.inputs.empty(), !clickhouse, loaded, summaries);
        if (!options.html.empty())
            out << "\nthe page: " << TerminalSafe(options.html) << "\n";
    }
    return loaded.malformed > 0 ? kFindings : kClean;
}
