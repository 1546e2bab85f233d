#pragma once

#include <vector>

// Joints, spheres, hulls, terrain and mixed-mass scenes; returns the number of failed scenes.
// `only` (or null) names the one scene to run.
int RunJointShapeScenes(bool smoke, const char* only);
// The names of those scenes, in the order they run.
std::vector<const char*> JointShapeSceneNames();
