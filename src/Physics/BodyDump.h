#pragma once

#include <string>

namespace Physics {

class Simulator;

// One text line per enabled body (rigid, then particles, then animated, each in list order):
// kind, id, position, orientation, linear velocity and sleep state, with fixed precision, so
// scenario tests can compare whole ticks as tables.
std::string DumpBodies(const Simulator& simulator);

} // namespace Physics
