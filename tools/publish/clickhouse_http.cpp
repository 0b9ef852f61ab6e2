#include "tools/publish/clickhouse_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace {

// The server's exception codes that say "not now" rather than "never": too many queries or
// parts waiting for merges, memory short, a timeout or a network fault between servers (a
// distributed insert's shard that does not answer).
constexpr int kTransientCodes[] = {
    159,  // TIMEOUT_EXCEEDED
    202,  // TOO_MANY_SIMULTANEOUS_QUERIES
    209,  // SOCKET_TIMEOUT
    210,  // NETWORK_ERROR
    241,  // MEMORY_LIMIT_EXCEEDED
    252,  // TOO_MANY_PARTS
    279,  // ALL_CONNECTION_TRIES_FAILED
};

// "Code: 252, e.displayText() = DB::Exception: Too many parts ..., e.what() = DB::Exception" as
// its code and its text without the repetitions.
int ExceptionCode(const std::string& body) {
    return body.rfind("Code: ", 0) == 0 ? std::atoi(body.c_str() + 6) : 0;
}

std::string ExceptionText(std::string body) {
    const std::size_t what = body.rfind(", e.what() = ");
    if (what != std::string::npos)
        body.erase(what);
    const std::size_t display = body.find("e.displayText() = ");
    if (display != std::string::npos)
        body.erase(display, 18);
    while (!body.empty() && (body.back() == '\n' || body.back() == ' '))
        body.pop_back();
    return body;
}

std::string Escaped(CURL* curl, const std::string& text) {
    char* escaped = curl_easy_escape(curl, text.data(), static_cast<int>(text.size()));
    std::string out = escaped ? escaped : "";
    curl_free(escaped);
    return out;
}

std::size_t Append(char* data, std::size_t size, std::size_t count, void* into) {
    static_cast<std::string*>(into)->append(data, size * count);
    return size * count;
}

}  // namespace

std::string ClickHouseUrl::Full() const {
    return scheme + "://" + (userinfo.empty() ? "" : userinfo + "@") + host +
           (port.empty() ? "" : ":" + port) + path + (settings.empty() ? "" : "?" + settings);
}

std::string ClickHouseUrl::Shown() const {
    ClickHouseUrl shown = *this;
    shown.userinfo.clear();
    shown.settings.clear();  // a password may be given as a setting too
    return shown.Full();
}

bool ParseClickHouseUrl(const std::string& text, ClickHouseUrl& url) {
    const std::size_t scheme = text.find("://");
    if (scheme == std::string::npos)
        return false;
    url.scheme = text.substr(0, scheme);
    if (url.scheme != "http" && url.scheme != "https")
        return false;
    std::string rest = text.substr(scheme + 3);
    const std::size_t question = rest.find('?');
    if (question != std::string::npos) {
        url.settings = rest.substr(question + 1);
        rest.erase(question);
    }
    const std::size_t slash = rest.find('/');
    url.path = slash == std::string::npos ? "/" : rest.substr(slash);
    std::string authority = rest.substr(0, slash);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        url.userinfo = authority.substr(0, at);
        authority.erase(0, at + 1);
    }
    const std::size_t bracket = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        url.port = authority.substr(colon + 1);
        authority.erase(colon);
        if (url.port.empty() || url.port.find_first_not_of("0123456789") != std::string::npos)
            return false;
    }
    url.host = authority;
    return !url.host.empty();
}

const std::vector<std::chrono::milliseconds>& ClickHouseRetryPauses() {
    using std::chrono::milliseconds;
    static const std::vector<milliseconds> pauses = {milliseconds(250), milliseconds(500),
                                                     milliseconds(1000), milliseconds(2000)};
    return pauses;
}

ClickHouseHttp::ClickHouseHttp(ClickHouseUrl url) : url_(std::move(url)) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (initialised)
        curl_ = curl_easy_init();
}

ClickHouseHttp::~ClickHouseHttp() {
    curl_easy_cleanup(static_cast<CURL*>(curl_));
}

ClickHouseAnswer ClickHouseHttp::Run(const std::string& sql, const std::string* rows,
                                     const std::string& settings) {
    ClickHouseAnswer answer = Once(sql, rows, settings);
    // An insert given again after a lost answer is no harm: the tables keep one row per key.
    for (const auto pause : ClickHouseRetryPauses()) {
        if (answer.ok || !answer.transient)
            break;
        std::this_thread::sleep_for(pause);
        answer = Once(sql, rows, settings);
    }
    if (!answer.ok && answer.transient) {
        answer.error += " (tried " + std::to_string(ClickHouseRetryPauses().size() + 1) + " times)";
    }
    return answer;
}

ClickHouseAnswer ClickHouseHttp::Once(const std::string& sql, const std::string* rows,
                                      const std::string& settings) {
    ClickHouseAnswer answer;
    CURL* curl = static_cast<CURL*>(curl_);
    if (curl == nullptr) {
        answer.error = "cannot start an HTTP client";
        return answer;
    }
    std::string query = url_.settings;
    if (!settings.empty())
        query += (query.empty() ? "" : "&") + settings;
    if (rows != nullptr)
        query += (query.empty() ? "" : "&") + std::string("query=") + Escaped(curl, sql);
    ClickHouseUrl target = url_;
    target.settings = query;
    const std::string full = target.Full();
    const std::string& body = rows != nullptr ? *rows : sql;

    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, full.c_str());
    // The servers are the publisher's own: no proxy named in the environment stands between.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    // A statement may think for minutes before its first byte; a connection silent for ten
    // minutes is taken for lost.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 600L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    char problem[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, problem);
    struct curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/plain");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        answer.body.clear();
        answer.error = "the ClickHouse server at " + url_.Shown() +
                       " does not answer: " + (problem[0] ? problem : curl_easy_strerror(code));
        answer.transient = code != CURLE_URL_MALFORMAT && code != CURLE_UNSUPPORTED_PROTOCOL;
        return answer;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.ok = answer.status == 200;
    if (!answer.ok) {
        answer.code = ExceptionCode(answer.body);
        answer.transient = answer.status == 502 || answer.status == 503 || answer.status == 504 ||
                           std::find(std::begin(kTransientCodes), std::end(kTransientCodes),
                                     answer.code) != std::end(kTransientCodes);
        answer.error = "the ClickHouse server at " + url_.Shown() + " refused it (HTTP " +
                       std::to_string(answer.status) +
                       "): " + ExceptionText(answer.body.substr(0, 2000));
    }
    return answer;
}
