#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// Every scene runs a few times. Within a run both engines are built and warmed up, then take turns
// of a few timed steps each (ours, the peer, ours, ...) until both have made all of theirs, so that
// whatever else the machine does meanwhile falls on both alike instead of on whichever engine was
// running. A line gives each engine's median over the runs of its runs' median step times.
inline int RunCount(bool smoke) { return smoke ? 2 : 3; }
constexpr int kTurnSteps = 25;

// Takes turns until both runs have made their timed steps; each offers Done() and Turn(steps).
template <class Ours, class Peer>
void TakeTurns(Ours& ours, Peer& peer) {
    while (!ours.Done() || !peer.Done()) {
        ours.Turn(kTurnSteps);
        peer.Turn(kTurnSteps);
    }
}

// The median of the runs' median step times (the upper middle one of an even count).
template <class Result>
double MedianOfRuns(const std::vector<Result>& runs) {
    std::vector<double> medians;
    for (const Result& r : runs) {
        medians.push_back(r.medianMs);
    }
    std::sort(medians.begin(), medians.end());
    return medians[medians.size() / 2];
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
