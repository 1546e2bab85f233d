#pragma once
// A per-frame effect on the vertices of a render part. The effect kinds come with the renderer's
// vertex effects; the part only applies them in order while it fills.
#include <string>
#include <vector>

#include "Core/PManagedObject.h"
#include "Render/PVertex.h"

class CPVertexEffect : public CPManagedObject {
public:
    // Back to the effect's starting state (an animation was restarted).
    virtual void Reset() {}
    // An independent copy for a copied render part.
    virtual CPRefPtr<CPVertexEffect> Clone() const = 0;
    // Writes count vertices of source, transformed, to destination; the two may be the same.
    virtual void Apply(const CPVertex* source, CPVertex* destination, int count) {
        if (source != destination)
            for (int i = 0; i < count; ++i) destination[i] = source[i];
    }
};

// The effect a description names ("environment", "fade", "movingtex", "flick", "anim") with its
// arguments, or null when the kind is unknown or its arguments do not fit.
CPRefPtr<CPVertexEffect> CreateVertexEffect(const std::string& kind, const std::vector<std::string>& arguments);
