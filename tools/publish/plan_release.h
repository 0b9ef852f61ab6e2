// The plan of an updater built with release keys: it asks for the release index first; an index
// it does not accept ends the check as an unreachable manifest host does, a manifest the index
// does not vouch for counts as not served, and a package the index does not name fails.
#pragma once

#include <string>
#include <vector>

#include "tools/publish/manifest_source.h"
#include "tools/publish/plan.h"
#include "trust/release_index.h"

struct ReleaseKeysOption {
    std::vector<std::string> keyFiles;  // public keys (PEM) the updater is built with
    unsigned threshold = 1;
};

struct JudgedRelease {
    bool accepted = false;
    std::string why;  // why the index is refused
    ReleaseIndex index;
};

// Judges the release's index as the updater would now, on a machine that has accepted no
// release before. False, with `error`, when a key cannot be read.
bool JudgeRelease(const ReleaseManifests& release, const ReleaseKeysOption& keys,
                  JudgedRelease& judged, std::string& error);

// Marks as not served every manifest the accepted index does not vouch for (all of them when the
// index is refused).
void KeepVouchedManifests(ReleaseManifests& release, const JudgedRelease& judged);

// Turns the prediction made over the kept manifests into the one of the updater with keys.
// `served` tells which manifests were served before any was dropped.
void HardenPrediction(Prediction& p, const JudgedRelease& judged, const ReleaseManifests& kept,
                      const std::vector<std::string>& served);
