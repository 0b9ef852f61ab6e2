#include "tools/publish/plan_command.h"

#include "base/text.h"
#include "manifest/version.h"
#include "tools/publish/manifest_source.h"
#include "tools/publish/output.h"
#include "tools/publish/plan.h"
#include "tools/publish/plan_release.h"
#include "tools/publish/xml_view.h"

namespace {

std::string N(const std::wstring& text) {
    return Utf16ToUtf8(text);
}

std::string JsonList(const std::vector<std::wstring>& list) {
    std::string out = "[";
    for (std::size_t i = 0; i < list.size(); ++i)
        out += (i ? "," : "") + Json(N(list[i]));
    return out + "]";
}

std::string ToJson(const Prediction& p) {
    std::string out = "{\"machine\":" + Json(p.machine) + ",\"switches\":" + Json(N(p.switches)) +
                      ",\"variant\":" + Json(N(p.variant)) +
                      ",\"requests\":" + JsonList(p.requests) + ",\"entries\":[";
    for (std::size_t i = 0; i < p.entries.size(); ++i) {
        const PlannedEntry& e = p.entries[i];
        out += std::string(i ? "," : "") + "{\"tag\":" + Json(N(e.tag)) +
               ",\"offered\":" + Json(N(e.offered)) + ",\"installed\":" + Json(N(e.installed)) +
               ",\"foundBy\":" + Json(N(e.foundBy)) +
               ",\"decided\":" + (e.decided ? "true" : "false") +
               ",\"updateNeeded\":" + (e.updateNeeded ? "true" : "false") +
               ",\"enforce\":" + (e.enforce ? "true" : "false") + "}";
    }
    out += "],\"updatesNeeded\":" + std::string(p.updatesNeeded ? "true" : "false") +
           ",\"why\":" + Json(N(p.why)) + ",\"outcome\":" + Json(N(p.outcome)) +
           ",\"windowShown\":" + (p.windowShown ? "true" : "false") +
           ",\"titleLine\":" + Json(N(p.titleLine)) + ",\"downloads\":[";
    for (std::size_t i = 0; i < p.downloads.size(); ++i) {
        const PlannedDownload& d = p.downloads[i];
        out += std::string(i ? "," : "") + "{\"tag\":" + Json(N(d.tag)) +
               ",\"url\":" + Json(N(d.url)) + ",\"retryUrl\":" + Json(N(d.retryUrl)) +
               ",\"destination\":" + Json(N(d.destination)) + "}";
    }
    out += "],\"closedWindows\":" + JsonList(p.closedWindows) + ",\"replaced\":[";
    for (std::size_t i = 0; i < p.replaced.size(); ++i) {
        out += std::string(i ? "," : "") + "{\"path\":" + Json(N(p.replaced[i].first)) +
               ",\"version\":" + Json(N(p.replaced[i].second)) + "}";
    }
    out += "],\"starts\":[";
    for (std::size_t i = 0; i < p.starts.size(); ++i) {
        out += std::string(i ? "," : "") + "{\"program\":" + Json(N(p.starts[i].program)) +
               ",\"parameters\":" + Json(N(p.starts[i].parameters)) +
               ",\"how\":" + Json(N(p.starts[i].how)) + "}";
    }
    out += "],\"selfUpdate\":" + std::string(p.selfUpdate ? "true" : "false") +
           ",\"records\":" + JsonList(p.records) + ",\"unpredicted\":" + JsonList(p.unpredicted) +
           "}";
    return out;
}

// Text of the manifests and profiles, safe on the terminal.
std::string S(const std::wstring& text) {
    return TerminalSafe(N(text));
}

void PrintOne(const Prediction& p, std::ostream& out) {
    out << "machine: " << TerminalSafe(p.machine) << "\n";
    out << "switches: " << S(p.switches) << "\n";
    out << "manifests: " << S(p.variant) << "\n";
    std::vector<std::vector<std::string>> rows = {
        {"entry", "offered", "installed", "found by", "update"}};
    for (const PlannedEntry& e : p.entries) {
        rows.push_back({N(e.tag), N(e.offered), e.installed.empty() ? "-" : N(e.installed),
                        e.decided ? N(e.foundBy) : "not decided in this run",
                        e.updateNeeded ? (e.enforce ? "yes (enforced)" : "yes") : "no"});
    }
    PrintTable(out, rows);
    out << "needed: " << (p.updatesNeeded ? "yes" : "no") << " (" << S(p.why) << ")\n";
    out << "outcome: " << S(p.outcome) << "\n";
    out << "window: "
        << (p.windowShown ? "shown, title \"" + S(p.titleLine) + "\"" : std::string("not shown"))
        << "\n";
    out << "updater updates itself: " << (p.selfUpdate ? "yes" : "no") << "\n";
    for (const PlannedDownload& d : p.downloads) {
        out << "download " << S(d.tag) << ": " << S(d.url) << " (retry " << S(d.retryUrl) << ") -> "
            << S(d.destination) << "\n";
    }
    for (const std::wstring& w : p.closedWindows)
        out << "close window: " << S(w) << "\n";
    for (const auto& [path, version] : p.replaced)
        out << "replace: " << S(path) << " with " << S(version) << "\n";
    for (const PlannedStart& s : p.starts)
        out << "start (" << S(s.how) << "): " << S(s.program) << " " << S(s.parameters) << "\n";
    for (const std::wstring& r : p.records)
        out << "record: " << S(r) << "\n";
    out << "requests: ";
    for (std::size_t i = 0; i < p.requests.size(); ++i)
        out << (i ? ", " : "") << S(p.requests[i]);
    out << "\n";
    for (const std::wstring& u : p.unpredicted)
        out << "not predicted: " << S(u) << "\n";
}

// What each machine does with an entry, in the notation of the legend below the table.
std::string Cell(const Prediction& p, const std::wstring& tag) {
    for (const PlannedEntry& e : p.entries) {
        if (e.tag != tag)
            continue;
        if (!e.decided)
            return ".";
        if (e.updateNeeded)
            return (e.installed.empty() ? "new" : N(e.installed)) + " -> " + N(e.offered);
        if (e.installed.empty() || e.installed == kFennickNotInstalled)
            return "-";
        return N(e.installed) + " ok";
    }
    return "no entry";
}

// Machines as rows, entries as columns: what each machine does with each entry; then the legend
// and what the plan could not predict, machine by machine.
void PrintTableOfMachines(const std::vector<Prediction>& predictions, std::ostream& out) {
    std::vector<std::wstring> tags;
    for (const Prediction& p : predictions) {
        for (const PlannedEntry& e : p.entries) {
            if (std::find(tags.begin(), tags.end(), e.tag) == tags.end())
                tags.push_back(e.tag);
        }
    }
    std::vector<std::vector<std::string>> rows(1, {"machine"});
    for (const std::wstring& t : tags)
        rows[0].push_back(N(t));
    rows[0].push_back("outcome");
    for (const Prediction& p : predictions) {
        std::vector<std::string> row = {p.machine};
        for (const std::wstring& t : tags)
            row.push_back(Cell(p, t));
        row.push_back(N(p.outcome));
        rows.push_back(row);
    }
    PrintTable(out, rows);
    out << "legend: \"A ok\" installed at A and up to date; \"A -> B\" updated from A to B; "
           "\"new -> B\" installed at B by this run; \"-\" not installed (and not installed by "
           "this run); \".\" not looked at by this run (a run for one product decides only it, "
           "the updater and what they depend on); \"no entry\" not in the manifest this machine "
           "reads\n";
    for (const Prediction& p : predictions) {
        for (const std::wstring& u : p.unpredicted)
            out << "not predicted (" << TerminalSafe(p.machine) << "): " << S(u) << "\n";
    }
}

}  // namespace

int RunPlanCommand(const std::string& manifests, const std::vector<std::string>& profiles,
                   const std::string& switches, bool click, const PublishHosts& hosts, bool json,
                   std::ostream& out, std::ostream& err, const ReleaseKeysOption* keys) {
    ReleaseManifests release = LoadRelease(ManifestSource(manifests));
    if (!release.unreadable.empty()) {
        err << "tallix-publish: cannot read the manifests: " << TerminalSafe(release.unreadable)
            << "\n";
        return 2;
    }
    JudgedRelease judged;
    std::vector<std::string> served;
    if (keys != nullptr) {
        std::string error;
        if (!JudgeRelease(release, *keys, judged, error)) {
            err << "tallix-publish: " << TerminalSafe(error) << "\n";
            return 2;
        }
        for (const LoadedManifest* m : {&release.settings, &release.upgrade[0], &release.upgrade[1],
                                        &release.history[0], &release.history[1]}) {
            if (m->present)
                served.push_back(m->file);
        }
        KeepVouchedManifests(release, judged);
    }
    std::vector<Prediction> predictions;
    for (const std::string& path : profiles) {
        std::string error;
        auto profile = LoadProfile(path, error);
        if (!profile) {
            err << "tallix-publish: " << TerminalSafe(error) << "\n";
            return 2;
        }
        profile->files.emplace(ToLowerAscii(profile->suiteDirectory + L"tallix.exe"),
                               hosts.release);
        predictions.push_back(PredictRun(release, *profile, Utf8ToUtf16(switches), hosts, click));
        if (keys != nullptr)
            HardenPrediction(predictions.back(), judged, release, served);
    }
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < predictions.size(); ++i)
            out << (i ? "," : "") << ToJson(predictions[i]);
        out << "]\n";
    } else if (predictions.size() == 1) {
        PrintOne(predictions.front(), out);
    } else {
        out << "switches: " << TerminalSafe(switches)
            << (click ? " (the offer's main button is clicked)" : "") << "\n";
        PrintTableOfMachines(predictions, out);
    }
    // A plan with parts it cannot predict is a finding: the publisher has to look at those.
    int unpredicted = 0;
    for (const Prediction& p : predictions)
        unpredicted += p.unpredicted.empty() ? 0 : 1;
    if (unpredicted == 0)
        return 0;
    err << "tallix-publish: " << unpredicted << " of " << predictions.size()
        << " run(s) have parts the plan cannot predict (listed as \"not predicted\")\n";
    return 1;
}
