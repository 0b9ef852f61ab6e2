// Cost of lint as the publisher pays it: a release whose classic and version-6 upgrade manifests
// hold N entries each (every one with a name, a version, an install file, a flag and a
// dependency), decoded, parsed and linted. Prints the time per run and per KiB for each size,
// CPU and wall; a time per KiB that stays flat shows the reading is linear in the size.
// Usage: lint_bench [ROUNDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "tools/publish/lint.h"

namespace {

std::vector<unsigned char> Upgrade(std::size_t entries, bool version6) {
    const std::string n = version6 ? "n" : "name";
    const std::string v = version6 ? "v" : "version";
    const std::string f = version6 ? "f" : "installfile";
    const std::string e = version6 ? "ef" : "enforce";
    const std::string d = version6 ? "d" : "depend";
    std::string text = "\xEF\xBB\xBF<UpdateList>\n<tallix><" + v + ">3.2.0.17</" + v + "><" + f +
                       ">/keldra/tallix.exe</" + f + "></tallix>\n";
    for (std::size_t i = 0; i < entries; ++i) {
        const std::string tag = "p" + std::to_string(i);
        text += "<" + tag + ">\n  <" + n + ">Product " + std::to_string(i) + " &amp; co</" + n +
                ">\n  <" + v + ">1.0." + std::to_string(i % 60000) + ".0</" + v + ">\n  <" + f +
                ">/keldra/" + tag + ".exe</" + f + ">\n  <" + e + ">false</" + e + ">\n  <" + d +
                ">tallix</" + d + ">\n</" + tag + ">\n";
    }
    text += "</UpdateList>\n";
    return std::vector<unsigned char>(text.begin(), text.end());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    LintOptions options;
    options.downloadOrigin = L"http://down.orvane.com";
    options.releaseVersion = L"3.2.0.17";
    std::printf("%10s %10s %14s %14s %14s\n", "entries", "KiB", "CPU ms/run", "wall ms/run",
                "CPU us/KiB");
    for (const std::size_t entries : {500, 1000, 2000, 4000}) {
        const auto classic = Upgrade(entries, false);
        const auto version6 = Upgrade(entries, true);
        const double kib = static_cast<double>(classic.size() + version6.size()) / 1024.0;
        const std::clock_t cpu = std::clock();
        const auto wall = std::chrono::steady_clock::now();
        std::size_t findings = 0;
        for (int r = 0; r < rounds; ++r) {
            ReleaseManifests release;
            LoadManifestBytes(ManifestKind::kUpgrade, ManifestVariant::kClassic, classic,
                              release.upgrade[0]);
            LoadManifestBytes(ManifestKind::kUpgrade, ManifestVariant::kVersion6, version6,
                              release.upgrade[1]);
            findings += LintRelease(release, options).size();
        }
        const double cpuMs =
            1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / rounds;
        const double wallMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall)
                .count() /
            rounds;
        std::printf("%10zu %10.0f %14.1f %14.1f %14.1f   (%zu findings)\n", entries, kib, cpuMs,
                    wallMs, 1000.0 * cpuMs / kib, findings / static_cast<std::size_t>(rounds));
    }
    return 0;
}
