// One ClickHouse server's HTTP interface: statements sent as the body of a POST (or in the URL
// when the body carries an INSERT's rows), answers read whole, one kept-alive connection. A
// failure the server or the network may get over (no connection, an overloaded server, too many
// parts waiting for merges) is retried a few times with growing pauses before it is given up.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct ClickHouseAnswer {
    bool ok = false;
    bool transient = false;  // a failure worth trying again
    long status = 0;         // the HTTP status, 0 when no answer came
    int code = 0;            // the server's exception code, 0 when none
    std::string body;        // the rows, or the server's exception
    std::string error;       // what went wrong, for the publisher
};

// The parts of a server's URL ("http://[USER[:PASSWORD]@]HOST[:PORT][/][?SETTING=VALUE&...]").
struct ClickHouseUrl {
    std::string scheme;    // "http" or "https"
    std::string userinfo;  // "USER[:PASSWORD]", or empty
    std::string host;      // an IPv6 address in brackets
    std::string port;      // empty: the scheme's own
    std::string path;      // from the "/" on, without the settings
    std::string settings;  // after "?", or empty

    // The URL with its user and password, to connect with.
    std::string Full() const;
    // The URL without user or password, for messages.
    std::string Shown() const;
};

// Reads a URL; false when it is not an http:// or https:// URL with a host.
bool ParseClickHouseUrl(const std::string& text, ClickHouseUrl& url);

// The retry pauses: after each failed attempt, the next pause (the last one given up after).
const std::vector<std::chrono::milliseconds>& ClickHouseRetryPauses();

class ClickHouseHttp {
  public:
    explicit ClickHouseHttp(ClickHouseUrl url);
    ~ClickHouseHttp();
    ClickHouseHttp(const ClickHouseHttp&) = delete;
    ClickHouseHttp& operator=(const ClickHouseHttp&) = delete;

    // Runs `sql` (its answer in `body` as TabSeparated text when it returns rows). With `rows`,
    // the statement is an INSERT whose rows `rows` holds. `settings` are "NAME=VALUE" pairs joined
    // by "&", added to the URL's. Transient failures are retried.
    ClickHouseAnswer Run(const std::string& sql, const std::string* rows = nullptr,
                         const std::string& settings = "");

    const ClickHouseUrl& Url() const { return url_; }

  private:
    ClickHouseAnswer Once(const std::string& sql, const std::string* rows,
                          const std::string& settings);

    ClickHouseUrl url_;
    void* curl_ = nullptr;  // CURL*
};
