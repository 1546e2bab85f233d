#include "Platform/Device.h"

namespace Platform {

const char* DeviceResultName(DeviceResult r) {
    switch (r) {
    case DeviceResult::Ok: return "OK";
    case DeviceResult::Fail: return "FAIL";
    case DeviceResult::InvalidCall: return "INVALIDCALL";
    case DeviceResult::OutOfMemory: return "OUTOFMEMORY";
    case DeviceResult::DeviceLost: return "DEVICELOST";
    case DeviceResult::DeviceNotReset: return "DEVICENOTRESET";
    case DeviceResult::NotAvailable: return "NOTAVAILABLE";
    }
    return "UNKNOWN";
}

uint32_t FvfStride(uint32_t fvf) {
    uint32_t stride = 0;
    const uint32_t position = fvf & (FvfXyz | FvfXyzRhw);
    if (position == FvfXyz) stride += 12;
    else if (position == FvfXyzRhw) stride += 16;
    else return 0;
    if (fvf & FvfNormal) stride += 12;
    if (fvf & FvfDiffuse) stride += 4;
    if (fvf & FvfSpecular) stride += 4;
    const uint32_t known = FvfXyz | FvfXyzRhw | FvfNormal | FvfDiffuse | FvfSpecular | FvfTex1 | FvfTex2;
    if (fvf & ~known) return 0;
    const uint32_t texSets = (fvf & FvfTex2) ? 2 : (fvf & FvfTex1) ? 1 : 0;
    if ((fvf & FvfTex1) && (fvf & FvfTex2)) return 0;
    return stride + 8 * texSets;
}

uint32_t PrimitiveVertexCount(PrimitiveType type, uint32_t n) {
    switch (type) {
    case PrimitiveType::PointList: return n;
    case PrimitiveType::LineList: return 2 * n;
    case PrimitiveType::LineStrip: return n ? n + 1 : 0;
    case PrimitiveType::TriangleList: return 3 * n;
    case PrimitiveType::TriangleStrip:
    case PrimitiveType::TriangleFan: return n ? n + 2 : 0;
    }
    return 0;
}

} // namespace Platform
