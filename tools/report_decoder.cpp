// The publisher's decoder of usage reports: reads what the statistics host received and prints
// each report as one JSON object a line.
//
//   report_decoder [--encoding NAME] [--fail-on warning|error] URL
//   report_decoder [--encoding NAME] [--fail-on warning|error] LOGFILE|-
//
// A URL (or request target, or bare query) is one report. A log is read line by line; lines
// without a report request (other pages of the host) are passed over; a log line may be the
// loopback server's JSON line, an access-log request line or a bare URL. The record's bytes are
// in the reporting computer's ANSI code page: GBK by default (the suite's users' Windows),
// another iconv name with --encoding.
//
// Exit status: 0 when every report decoded; 1 when a report was malformed (an error: each one is
// named on standard error with its line; what could be decoded of it is still printed, with null
// parts) or the log held none (a warning, which --fail-on error lets pass); 2 for a usage error
// or an unreadable file. Everything printed from a request is escaped: whoever sent it cannot
// steer the publisher's terminal.
#include <errno.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "build_values.h"
#include "report/report_decoder.h"
#include "tools/code_page.h"
#include "tools/publish/log_lines.h"
#include "tools/publish/output.h"

namespace {

bool LooksLikeRequest(const std::string& argument) {
    return argument.find("/receive/tallix.aspx?") != std::string::npos ||
           argument.rfind("http://", 0) == 0 || argument.rfind("uid=", 0) == 0;
}

const char kUsage[] =
    "usage: report_decoder [OPTIONS] URL\n"
    "       report_decoder [OPTIONS] LOGFILE|-\n"
    "       report_decoder --help | -h | help\n"
    "       report_decoder --version\n"
    "\n"
    "Prints each usage report of a request, or of a statistics log's lines, as one JSON object.\n"
    "\n"
    "options:\n"
    "  --encoding NAME\n"
    "      the reporting computers' ANSI code page, an iconv name (default GBK)\n"
    "  --fail-on warning|error\n"
    "      what makes the exit status 1: warning (default) also a log without any report,\n"
    "      error only malformed reports\n"
    "\n"
    "exit status: 0 every report decoded, 1 findings, 2 a usage error or an unreadable file\n";

int Usage(const std::string& problem) {
    std::cerr << "report_decoder: " << TerminalSafe(problem)
              << "\nrun \"report_decoder --help\" for the options\n";
    return 2;
}

struct Arguments {
    std::string encoding = "GBK";
    bool errorsOnly = false;  // --fail-on error
    std::string input;
};

// 0 to run, or the exit status of a help, version or usage answer.
int Parse(int argc, char** argv, Arguments& a, bool& done) {
    done = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || (i == 1 && arg == "help")) {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "report_decoder " << TALLIX_VERSION_TEXT << "\n";
            return 0;
        }
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--encoding" || arg == "--fail-on") {
            if (i + 1 >= argc)
                return Usage(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--encoding") {
                a.encoding = value;
            } else if (value == "warning" || value == "error") {
                a.errorsOnly = value == "error";
            } else {
                return Usage("--fail-on takes warning or error, not " + value);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (!a.input.empty()) {
            return Usage("one URL or log at a time");
        } else {
            a.input = arg;
        }
    }
    if (a.input.empty())
        return Usage("no URL or log");
    done = false;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments a;
    bool done = false;
    const int status = Parse(argc, argv, a, done);
    if (done)
        return status;
    if (!CodePageToUtf8(a.encoding, "test")) {
        std::cerr << "report_decoder: unknown encoding " << TerminalSafe(a.encoding) << "\n";
        return 2;
    }
    const AnsiToUtf8 toUtf8 = [&](const std::string& bytes) {
        return CodePageToUtf8(a.encoding, bytes);
    };
    const std::string& input = a.input;

    if (LooksLikeRequest(input)) {
        const DecodedReport report = DecodeReportRequest(input, toUtf8);
        if (!report.json.empty()) {
            std::cout << report.json << "\n";
        }
        if (!report.ok) {
            std::cerr << "report_decoder: " << TerminalSafe(report.error) << "\n";
            return 1;
        }
        return 0;
    }

    std::ifstream file;
    if (input != "-") {
        file.open(input, std::ios::binary);
        if (!file) {
            std::cerr << "report_decoder: cannot read " << TerminalSafe(input) << ": "
                      << std::strerror(errno) << "\n";
            return 2;
        }
    }
    std::istream& in = input == "-" ? std::cin : file;
    long long reports = 0;
    long long bad = 0;
    // Lines are read in blocks, so a line of any length holds only its head in memory.
    LogLineReader reader(in);
    std::string line;
    unsigned long long length = 0;
    for (long long number = 1; reader.Next(line, length); ++number) {
        const auto request = ReportRequestInLine(line);
        if (!request) {
            continue;
        }
        ++reports;
        if (length > line.size()) {
            ++bad;
            std::cerr << "report_decoder: " << TerminalSafe(input) << ":" << number
                      << ": a line of " << length << " bytes, longer than any report\n";
            continue;
        }
        const DecodedReport report = DecodeReportRequest(*request, toUtf8);
        if (!report.json.empty()) {
            std::cout << report.json << "\n";
        }
        if (!report.ok) {
            ++bad;
            std::cerr << "report_decoder: " << TerminalSafe(input) << ":" << number << ": "
                      << TerminalSafe(report.error) << "\n";
        }
    }
    if (reports == 0) {
        std::cerr << "report_decoder: no report request in " << TerminalSafe(input) << "\n";
        return a.errorsOnly ? 0 : 1;
    }
    return bad == 0 ? 0 : 1;
}
