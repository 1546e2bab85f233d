#pragma once
// Minimal car model handle held by a car's game object. The vehicle model comes with the race world.
#include "Core/PManagedObject.h"

class CPCar : public CPManagedObject {
public:
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPCar"; }
};
