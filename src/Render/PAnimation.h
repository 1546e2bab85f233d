#pragma once
// Minimal vertex animation shared by name: the name is all a game object looks at. Frames and
// their loading come with the renderer's animation manager.
#include <string>

#include "Core/PManagedObject.h"

class CPAnimation : public CPManagedObject {
public:
    explicit CPAnimation(std::string name = {}) : name_(std::move(name)) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPAnimation"; }
    const std::string& GetName() const { return name_; }

private:
    std::string name_;
};
