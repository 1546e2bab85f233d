#pragma once
// Failed device calls go to the process log with the call, its line and what the result means;
// drawing goes on with the next call.
#include "Platform/Device.h"

// Answers whether the call succeeded.
bool CheckDevice(Platform::DeviceResult result, const char* call, int line);

#define DEVICE_CHECK(call) CheckDevice((call), #call, __LINE__)
