// Cost of the update decision as the check pays it: an upgrade manifest of N entries, each
// depending on two others, read through the portable reader (over the same node view that the
// Windows reader gives it) and decided for a suite run on a machine where every component is
// installed one version behind, up to the decided list. The node tree itself is built beforehand,
// as the XML parser would. Prints the time per run and per entry for each size: the process's CPU
// time, which a shared machine disturbs less, and the wall time.
// Usage: decision_bench [ROUNDS_SCALE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "manifest/manifest_node.h"
#include "manifest/update_decision.h"
#include "manifest/update_list.h"

namespace {

struct Element {
    std::wstring name;
    std::wstring text;
    std::vector<Element> children;
};

// The node view over an element tree held in memory.
class MemoryNode : public ManifestNode {
  public:
    explicit MemoryNode(const Element& element) : element_(element) {}
    bool Name(std::wstring& name) const override {
        name = element_.name;
        return true;
    }
    bool Text(std::wstring& text) const override {
        text.clear();
        Append(element_, text);
        return true;
    }
    bool ChildCount(std::size_t& count) const override {
        count = element_.children.size();
        return true;
    }
    std::unique_ptr<ManifestNode> Child(std::size_t index) const override {
        return std::make_unique<MemoryNode>(element_.children.at(index));
    }

  private:
    static void Append(const Element& element, std::wstring& text) {
        text += element.text;
        for (const Element& child : element.children) {
            Append(child, text);
        }
    }
    const Element& element_;
};

std::wstring Tag(int i) {
    wchar_t text[16];
    std::swprintf(text, 16, L"part%05d", i);
    return text;
}

// Entry i depends on the entries i + 1 and i + 7 (wrapping round), so every depend text differs.
Element Manifest(int entries) {
    Element root{L"UpdateList", L"", {}};
    root.children.push_back({L"keldra",
                             L"",
                             {{L"name", L"Keldra", {}},
                              {L"version", L"6.0.0.2", {}},
                              {L"installfile", L"/keldra/keldra.exe", {}}}});
    for (int i = 0; i < entries; ++i) {
        const std::wstring tag = Tag(i);
        root.children.push_back(
            {tag,
             L"",
             {{L"name", L"Part " + std::to_wstring(i), {}},
              {L"version", L"2.0.0." + std::to_wstring(i % 100), {}},
              {L"installfile", L"/keldra/" + tag + L".exe", {}},
              {L"depend", Tag((i + 1) % entries) + L"," + Tag((i + 7) % entries), {}}}});
    }
    return root;
}

struct Machine {
    std::unordered_map<std::wstring, std::wstring> files;  // path -> product version

    DecisionMachine View() const {
        DecisionMachine machine;
        machine.probe.fileExists = [this](const std::wstring& path) {
            return files.count(path) > 0;
        };
        machine.probe.readString = [](const RegistryLocation&, const std::wstring&) {
            return std::wstring();
        };
        machine.fileVersion = [this](const std::wstring& path) {
            const auto found = files.find(path);
            return found == files.end() ? std::wstring() : found->second;
        };
        machine.localAppData = [] { return std::wstring(L"C:\\Local"); };
        machine.suiteDirectory = L"C:\\Suite\\";
        return machine;
    }
};

// One check's worth of work: read, decide, count what needs an update.
int ReadAndDecide(const Element& manifest, const DecisionMachine& machine) {
    UpgradeReaderState state;
    state.downloadBase = L"http://update.example";
    UpdateList list;
    ReadUpgradeManifest(MemoryNode(manifest), ManifestVariant::kClassic, L"keldra", state, list);
    DecisionOptions options;
    options.targetProduct = L"keldra";
    options.suiteMode = true;
    DecisionResults results;
    results.targetDependency = state.targetDependency;
    DecideUpdates(list, options, machine, results);
    return static_cast<int>(std::count_if(list.begin(), list.end(),
                                          [](const auto& item) { return item->updateNeeded; }));
}

double CpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    std::printf("%8s %7s %13s %13s %14s %8s\n", "entries", "rounds", "cpu ms (med)",
                "wall ms (med)", "cpu us/entry", "decided");
    double perEntry500 = 0;
    for (const int entries : {500, 5000, 50000}) {
        const Element manifest = Manifest(entries);
        Machine machine;
        machine.files[L"C:\\Suite\\keldra.exe"] = L"6.0.0.1";
        for (int i = 0; i < entries; ++i) {
            machine.files[L"C:\\Suite\\" + Tag(i) + L".exe"] = L"1.0.0." + std::to_wstring(i % 100);
        }
        const DecisionMachine view = machine.View();
        const int rounds = std::max(3, static_cast<int>(scale * 200000 / entries));
        std::vector<double> cpu;
        std::vector<double> wall;
        int decided = 0;
        for (int round = 0; round < rounds; ++round) {
            const double cpuStart = CpuMs();
            const auto start = std::chrono::steady_clock::now();
            decided = ReadAndDecide(manifest, view);
            const auto end = std::chrono::steady_clock::now();
            cpu.push_back(CpuMs() - cpuStart);
            wall.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
        std::sort(cpu.begin(), cpu.end());
        std::sort(wall.begin(), wall.end());
        const double median = cpu[cpu.size() / 2];
        const double perEntry = median * 1000 / entries;
        if (entries == 500) {
            perEntry500 = perEntry;
        }
        std::printf("%8d %7d %13.3f %13.3f %14.3f %8d   (per entry %.2f x that of 500)\n", entries,
                    rounds, median, wall[wall.size() / 2], perEntry, decided,
                    perEntry / perEntry500);
    }
    std::puts("goal: 5000 entries in at most 10 ms; a flat time per entry shows linear growth");
    return 0;
}
