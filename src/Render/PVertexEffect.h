#pragma once
// Minimal per-frame vertex effect of a render part: what copying and restarting a part needs.
// The effect kinds themselves come with the renderer's vertex effects.
#include <string>
#include <vector>

#include "Core/PManagedObject.h"

class CPVertexEffect : public CPManagedObject {
public:
    // Back to the effect's starting state (an animation was restarted).
    virtual void Reset() {}
    // An independent copy for a copied render part.
    virtual CPRefPtr<CPVertexEffect> Clone() const = 0;
};

// The effect a description names ("environment", "fade", "movingtex", "flick", "anim") with its
// arguments, or null when the kind is unknown or its arguments do not fit. No kind is built yet.
CPRefPtr<CPVertexEffect> CreateVertexEffect(const std::string& kind, const std::vector<std::string>& arguments);
