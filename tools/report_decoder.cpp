// The publisher's decoder of usage reports: reads what the statistics host received and prints
// each report as one JSON object a line.
//
//   report_decoder [--encoding NAME] URL
//   report_decoder [--encoding NAME] LOGFILE|-
//
// A URL (or request target, or bare query) is one report. A log is read line by line; lines
// without a report request (other pages of the host) are passed over; a log line may be the
// loopback server's JSON line, an access-log request line or a bare URL. The record's bytes are
// in the reporting computer's ANSI code page: GBK by default (the suite's users' Windows),
// another iconv name with --encoding.
//
// Exit status: 0 when every report decoded; 1 when a report was malformed (each one named on
// standard error with its line; what could be decoded of it is still printed, with null parts)
// or the log held none; 2 for a usage error or an unreadable file.
#include <errno.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "report/report_decoder.h"
#include "tools/code_page.h"

namespace {

bool LooksLikeRequest(const std::string& argument) {
    return argument.find("/receive/tallix.aspx?") != std::string::npos ||
           argument.rfind("http://", 0) == 0 || argument.rfind("uid=", 0) == 0;
}

int Usage() {
    std::cerr << "usage: report_decoder [--encoding NAME] URL\n"
                 "       report_decoder [--encoding NAME] LOGFILE|-\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string encoding = "GBK";
    std::string input;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--encoding" && i + 1 < argc) {
            encoding = argv[++i];
        } else if (arg == "-h" || arg == "--help" || !input.empty()) {
            return Usage();
        } else {
            input = arg;
        }
    }
    if (input.empty()) {
        return Usage();
    }
    if (!CodePageToUtf8(encoding, "test")) {
        std::cerr << "report_decoder: unknown encoding " << encoding << "\n";
        return 2;
    }
    const AnsiToUtf8 toUtf8 = [&](const std::string& bytes) {
        return CodePageToUtf8(encoding, bytes);
    };

    if (LooksLikeRequest(input)) {
        const DecodedReport report = DecodeReportRequest(input, toUtf8);
        if (!report.json.empty()) {
            std::cout << report.json << "\n";
        }
        if (!report.ok) {
            std::cerr << "report_decoder: " << report.error << "\n";
            return 1;
        }
        return 0;
    }

    std::ifstream file;
    if (input != "-") {
        file.open(input, std::ios::binary);
        if (!file) {
            std::cerr << "report_decoder: cannot read " << input << ": " << std::strerror(errno)
                      << "\n";
            return 2;
        }
    }
    std::istream& in = input == "-" ? std::cin : file;
    int reports = 0;
    int bad = 0;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto request = ReportRequestInLine(line);
        if (!request) {
            continue;
        }
        ++reports;
        const DecodedReport report = DecodeReportRequest(*request, toUtf8);
        if (!report.json.empty()) {
            std::cout << report.json << "\n";
        }
        if (!report.ok) {
            ++bad;
            std::cerr << "report_decoder: " << input << ":" << number << ": " << report.error
                      << "\n";
        }
    }
    if (reports == 0) {
        std::cerr << "report_decoder: no report request in " << input << "\n";
        return 1;
    }
    return bad == 0 ? 0 : 1;
}
