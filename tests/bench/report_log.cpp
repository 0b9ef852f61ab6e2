// Writes a made-up statistics-host log of COUNT requests to standard output (see
// tests/publish/synthetic_log.h), for the statistics benchmark and the page test.
//   report_log COUNT [--hostile]
#include <cstdlib>
#include <iostream>
#include <string>

#include "tests/publish/synthetic_log.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: report_log COUNT [--hostile]\n";
        return 2;
    }
    const unsigned long long count = std::strtoull(argv[1], nullptr, 10);
    SyntheticLogOptions options;
    options.hostile = argc > 2 && std::string(argv[2]) == "--hostile";
    std::ios::sync_with_stdio(false);
    for (unsigned long long i = 0; i < count; ++i)
        std::cout << SyntheticLogLine(i, options) << '\n';
    return std::cout.flush() ? 0 : 1;
}
