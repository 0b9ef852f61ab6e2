#include "trust/release_gate.h"

#include <atomic>

namespace {

std::atomic<const ReleaseGate*> activeGate{nullptr};

}  // namespace

const ReleaseGate* ActiveReleaseGate() {
    return activeGate.load();
}

void SetActiveReleaseGate(const ReleaseGate* gate) {
    activeGate.store(gate);
}

bool IndexedPackage(const std::wstring& url, const IndexedFile*& entry) {
    const ReleaseGate* gate = ActiveReleaseGate();
    entry = gate != nullptr ? gate->Package(url) : nullptr;
    return gate == nullptr || entry != nullptr;
}

bool PackageFileFits(const std::wstring& path, const IndexedFile* entry) {
    const ReleaseGate* gate = ActiveReleaseGate();
    return entry == nullptr || (gate != nullptr && gate->FileMatches(path, *entry));
}
