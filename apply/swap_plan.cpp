#include "apply/swap_plan.h"

namespace {

// One run of the swap: the staged copy is made once and then moved in.
class Swap {
  public:
    Swap(const std::wstring& source, const std::wstring& target, const SwapOps& ops)
        : source_(source), target_(target), staging_(StagingName(target)), ops_(ops) {}

    // Stages the new file when it is not staged yet, then moves it over the target.
    bool Attempt() { return (staged_ || Stage()) && ops_.move(staging_, target_, true); }

    // The last resort for a target that stays in use (it may be renamed, not replaced): it is
    // moved aside, the new file moved in and the old one deleted at the next restart. When the
    // new file cannot be moved in, the old one goes back under its own name.
    bool MoveAsideAndIn() {
        if (!staged_ || !ops_.exists(target_)) {
            return false;
        }
        const std::wstring displaced = DisplacedName(target_, ops_.ticks());
        if (!ops_.move(target_, displaced, false)) {
            return false;
        }
        if (ops_.move(staging_, target_, false)) {
            ops_.deleteAtRestart(displaced);
            return true;
        }
        for (int round = 0; round < kPutBackRounds; ++round) {
            if (round > 0) {
                ops_.sleep(kPutBackPauseMs);
            }
            if (ops_.move(displaced, target_, true)) {
                break;
            }
        }
        return false;
    }

    // Nothing staged stays behind a failure.
    void Discard() { ops_.remove(staging_); }

  private:
    static constexpr int kPutBackPauseMs = 100;

    // Writes the new file beside the target and checks it against the package it was copied
    // from: the same size and the same version (the one its checks passed with).
    bool Stage() {
        ops_.remove(staging_);  // left by a run that was killed while it copied
        const long long size = ops_.size(source_);
        if (size < 0 || !ops_.copy(source_, staging_) || ops_.size(staging_) != size ||
            ops_.version(staging_) != ops_.version(source_)) {
            ops_.remove(staging_);
            return false;
        }
        staged_ = true;
        return true;
    }

    const std::wstring& source_;
    const std::wstring& target_;
    const std::wstring staging_;
    const SwapOps& ops_;
    bool staged_ = false;
};

}  // namespace

std::wstring StagingName(const std::wstring& target) {
    return target + L".new";
}

std::wstring DisplacedName(const std::wstring& target, unsigned long ticks) {
    // Formatted as a signed number, as "%d" of the tick count gives it.
    return target + L"." + std::to_wstring(static_cast<int>(ticks)) + L".tmp";
}

bool SwapIn(const std::wstring& source, const std::wstring& target, const SwapPolicy& policy,
            const SwapOps& ops) {
    Swap swap(source, target, ops);
    if (swap.Attempt()) {
        return true;
    }
    for (int retry = 0; retry < policy.retries; ++retry) {
        if (policy.repairAccess && ops.exists(target)) {
            ops.repairAccess(target);
        }
        ops.sleep(policy.pauseMs);
        if (swap.Attempt()) {
            return true;
        }
    }
    if (policy.moveAsideLast && swap.MoveAsideAndIn()) {
        return true;
    }
    swap.Discard();
    return false;
}
