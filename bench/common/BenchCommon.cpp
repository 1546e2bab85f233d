#include "BenchCommon.h"

#include <algorithm>
#include <random>

#include "Core/PGameObject.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"

namespace Bench {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

CPLevelBranch::ObjectList Props(int count, std::vector<CPRefPtr<CPMaterial>>& materials) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> along(0.0f, 600.0f), across(-60.0f, 60.0f), size(0.3f, 4.0f);
    for (int i = 0; i < 8; ++i) materials.push_back(CPRefPtr<CPMaterial>(new CPMaterial(20 + i)));
    CPLevelBranch::ObjectList objects;
    for (int i = 0; i < count; ++i) {
        CPRefPtr<CPGameObject> object(new CPGameObject("prop"));
        CPRefPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
        mesh->SetMaterial(materials[random() % materials.size()]);
        object->SetRenderPart(mesh);
        object->SetRenderType(CPGameObject::RenderMesh);
        const Vec3 half{size(random), size(random), size(random)};
        object->SetBoundingBox(CPOrientedBox({0, 0, 0}, half));
        object->AddCollisionBox(CPOrientedBox({0, 0, 0}, half));
        object->SetPosition({along(random), across(random), half.z});
        object->UpdateTransform();
        object->SetStatic(true);
        objects.push_back(object);
    }
    return objects;
}

} // namespace Bench
