#include "Race/PLevel.h"

#include "Render/PRender.h"

bool CPLevel::GetNamedPosition(const std::string& key, float position[3]) const {
    auto it = namedPositions_.find(key);
    if (it == namedPositions_.end()) return false;
    for (int i = 0; i < 3; ++i) position[i] = it->second[i];
    return true;
}

void CPLevel::SetNamedPosition(const std::string& key, const float position[3]) {
    namedPositions_[key] = {position[0], position[1], position[2]};
}

void CPLevel::SubmitLight() {
    if (CPRender* render = GetRender()) render->AddLight(light_);
}
