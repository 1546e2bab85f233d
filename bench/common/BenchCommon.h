#pragma once
// What the benches share: the median of a run's timings, and the level tree's props of the race
// scenes (boxes along 600 m of road, 120 m across).
#include <vector>

#include "Core/PManagedObject.h"
#include "Race/PLevelBranch.h"

class CPMaterial;

namespace Bench {

double Median(std::vector<double> values);

// `count` static props with meshes under eight materials (kept in `materials`), placed by a fixed
// seed so every run and every bench sees the same ones.
CPLevelBranch::ObjectList Props(int count, std::vector<CPRefPtr<CPMaterial>>& materials);

} // namespace Bench
