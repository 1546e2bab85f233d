#pragma once
// Minimal material handle: what game objects hold and hand to their render parts. The material
// manager, effects and texture blocks complete it.
#include "Core/PManagedObject.h"

class CPMaterial : public CPManagedObject {
public:
    explicit CPMaterial(int type = 0) : type_(type) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPMaterial"; }

    // The render layer the material is drawn in.
    int GetType() const { return type_; }

private:
    int type_;
};
