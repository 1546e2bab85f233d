#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// Every scene runs several times for each engine, the two taking turns (ours, the peer, ours, the
// peer, ...), and a line gives each engine's fastest run: a slow spell of the machine only ever
// makes the runs it falls on slower, and taking turns spreads it over both engines instead of
// handing it to whichever engine was running.
inline int RunCount(bool smoke) { return smoke ? 2 : 3; }

// Runs `ours` and `peer` in turn, `count` times each; each returns one run's result.
template <class Result, class Ours, class Peer>
void TakeTurns(int count, Ours&& ours, Peer&& peer, std::vector<Result>& oursRuns, std::vector<Result>& peerRuns) {
    for (int i = 0; i < count; ++i) {
        oursRuns.push_back(ours());
        peerRuns.push_back(peer());
    }
}

// The fastest of the runs' median step times.
template <class Result>
double FastestMedian(const std::vector<Result>& runs) {
    double best = runs.front().medianMs;
    for (const Result& r : runs) {
        best = std::min(best, r.medianMs);
    }
    return best;
}

// The runs' median step times in run order, "a/b/c", for the diagnostics.
template <class Result>
std::string RunMedians(const std::vector<Result>& runs) {
    std::string text;
    for (const Result& r : runs) {
        char value[32];
        std::snprintf(value, sizeof(value), "%s%.4f", text.empty() ? "" : "/", r.medianMs);
        text += value;
    }
    return text;
}

// True when every run gave the first run's outcome: our engine steps the same scene to the same
// bits every time, so its accuracy columns are those of any run.
template <class Result, class Same>
bool SameEveryRun(const std::vector<Result>& runs, Same&& same) {
    for (const Result& r : runs) {
        if (!same(runs.front(), r)) {
            return false;
        }
    }
    return true;
}
