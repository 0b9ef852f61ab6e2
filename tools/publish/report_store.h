// The usage reports in a SQLite database: the statistics host's request log decoded by the
// updater's own report decoder, one row per report, and the summaries the publisher reads.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct sqlite3;

class ReportStore {
  public:
    // Opens (creating when needed) the database at `path`; Ok() says whether that worked.
    explicit ReportStore(const std::string& path);
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    bool Ok() const { return db_ != nullptr; }
    const std::string& Error() const { return error_; }

    struct LoadResult {
        int added = 0;      // reports new to the database
        int known = 0;      // reports it already held (the same log loaded again)
        int malformed = 0;  // report requests the decoder refused
    };
    // Loads every report request of a log's lines (the loopback server's JSON lines, access-log
    // lines or bare URLs). Each report is keyed by its request and by how many identical
    // requests came before it in the log, so loading a log again, or a longer copy of it, adds
    // only what is new. `encoding` names the reporting computers' ANSI code page (iconv name).
    LoadResult Load(const std::vector<std::string>& lines, const std::string& encoding);

    // One summary: a title and rows whose first row is the heading.
    struct Summary {
        std::string title;
        std::vector<std::vector<std::string>> rows;
    };
    std::vector<Summary> Summaries() const;

  private:
    sqlite3* db_ = nullptr;
    std::string error_;
};

// Whether a file is a SQLite database (by its header), rather than a log.
bool IsSqliteFile(const std::string& path);
