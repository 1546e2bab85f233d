#pragma once
// The abstract renderable: what a render block asks of everything it batches. Fill writes the
// vertices and 16-bit indices straight into the locked buffers of the block.
#include <cstdint>

#include "Core/Math/Mat4.h"
#include "Core/PManagedObject.h"
#include "Render/PMaterial.h"
#include "Render/PVertex.h"

struct StaticMeshEntry;

class CPRenderable : public CPManagedObject {
public:
    // True when drawn from its own static mesh and never copied into a block.
    virtual bool IsStatic() const = 0;
    virtual void SetStatic(bool flag) = 0;
    virtual int GetVertexCount() = 0;
    virtual int GetIndexCount() = 0;
    // Writes GetVertexCount vertices and GetIndexCount indices, each index offset by base
    // (16-bit arithmetic).
    virtual void Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int flag) = 0;
    virtual void FillExtra(CPIndex* destination, int unused, int& first, int& last) = 0;
    virtual CPRefPtr<CPMaterial> GetMaterial() const = 0;

    // What a static renderable is drawn from, and where.
    virtual StaticMeshEntry* GetStaticMesh() const { return nullptr; }
    virtual const Mat4& GetStaticWorldMatrix() const {
        static const Mat4 identity = MatIdentity();
        return identity;
    }
};
