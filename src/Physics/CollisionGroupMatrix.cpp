#include "Physics/CollisionGroupMatrix.h"

namespace Physics {

CollisionGroupMatrix::CollisionGroupMatrix() {
    for (int a = 0; a < kGroupCount; ++a) {
        noGroup_[a] = 1;
        for (int b = 0; b < kGroupCount; ++b) {
            pair_[a][b] = 1;
        }
    }
}

void CollisionGroupMatrix::Set(int a, int b, int32_t value) {
    // Groups outside -1..63 would index past the table.
    if (!IsValidGroup(a) || !IsValidGroup(b)) {
        return;
    }
    if (a == -1 && b == -1) {
        return;
    }
    if (a == -1) {
        noGroup_[b] = value;
    } else if (b == -1) {
        noGroup_[a] = value;
    } else {
        pair_[a][b] = value;
        pair_[b][a] = value;
    }
}

int32_t CollisionGroupMatrix::Get(int a, int b) const {
    if (!IsValidGroup(a) || !IsValidGroup(b)) {
        return 0;
    }
    if (a == -1 && b == -1) {
        return 0;
    }
    if (a == -1) {
        return noGroup_[b];
    }
    if (b == -1) {
        return noGroup_[a];
    }
    return pair_[a][b];
}

} // namespace Physics
