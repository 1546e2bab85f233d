#include "Render/PVertexEffect.h"

CPRefPtr<CPVertexEffect> CreateVertexEffect(const std::string& kind, const std::vector<std::string>& arguments) {
    (void)kind;
    (void)arguments;
    return {};
}
