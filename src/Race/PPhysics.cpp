#include "Race/PPhysics.h"

CPPhysics::CPPhysics() = default;

CPPhysics::~CPPhysics() = default;
