#include "Render/DeviceCheck.h"

#include "Core/PLog.h"

using Platform::DeviceResult;

namespace {

const char* Describe(DeviceResult r) {
    switch (r) {
    case DeviceResult::Ok: return "The call succeeded.";
    case DeviceResult::InvalidCall: return "The call is invalid: a parameter or the device state is wrong.";
    case DeviceResult::OutOfMemory: return "Not enough memory for the call.";
    case DeviceResult::DeviceLost: return "The device is lost and cannot be reset yet.";
    case DeviceResult::DeviceNotReset: return "The device is lost and can be reset now.";
    case DeviceResult::NotAvailable: return "The device or the requested feature is not available.";
    case DeviceResult::Fail: break;
    }
    return "The device call failed.";
}

} // namespace

bool CheckDevice(DeviceResult result, const char* call, int line) {
    if (Platform::DeviceOk(result)) return true;
    GetLog().Write(0, "DXError if %s on line %d\n%s\n%s\n", call, line, Platform::DeviceResultName(result),
                   Describe(result));
    return false;
}
