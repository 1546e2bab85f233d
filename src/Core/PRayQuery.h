#pragma once
// One ray pick. The caller fills the excluded object, the distance (the ray's length), the origin and
// the unit direction; the pick shortens the distance to the nearest hit and fills the rest.
#include "Core/Math/Plane.h"
#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"

class CPRayQuery {
public:
    CPRefPtr<CPGameObject> excludedObject; // skipped with its whole subtree; null skips nothing
    CPRefPtr<CPGameObject> hitObject;      // the object whose box was hit nearest
    CPRefPtr<CPGameObject> hitOwner;       // the hit object's script owner
    Vec3 endPoint;                         // origin + direction · distance, written by the level
    float distance = 0.0f;
    Plane hitPlane; // world plane of the face hit, not normalised
    Vec3 origin;
    Vec3 direction;
};
