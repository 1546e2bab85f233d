#pragma once
// A vertex animation shared by name through the animation manager: whole vertex and index frames
// read from a block of an animated mesh file, with the box around every vertex of every frame.
// Frame choice and filling belong to the animated part that shows it.
#include <string>
#include <vector>

#include "Core/PManagedObject.h"
#include "Core/POrientedBox.h"
#include "Render/MeshFile.h"
#include "Render/PVertex.h"

class CPAnimation : public CPManagedObject {
public:
    struct FrameRecord {
        std::vector<CPVertex> vertices;
        std::vector<CPIndex> indices;
        int number = 0; // position in the list, from 0
    };

    // Enters the animation in the manager's cache under the name (replacing an entry of that name).
    explicit CPAnimation(std::string name = {});
    // Erases the cache entry when it still points here.
    ~CPAnimation() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPAnimation"; }
    const std::string& GetName() const { return name_; }

    // Replaces the frames with the block's: frame time in 1/2400 s, every vertex's diffuse colour
    // the description manager's vertex colour, and the box around every vertex.
    bool Load(const MeshFile::VertexAnimation& block);

    float duration = 0.0f;
    int frameCount = 0;
    float frameTime = 0.0f;
    std::vector<FrameRecord> frames;
    CPOrientedBox box;

private:
    std::string name_;
};
