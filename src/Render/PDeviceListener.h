#pragma once
// Everything that owns device resources derives from CPDeviceListener and is told before the
// device is reset (drop what the reset destroys) and after it (make it again). Listeners are kept
// in one process-wide list in construction order.

class CPDeviceListener {
public:
    CPDeviceListener();
    virtual ~CPDeviceListener();
    CPDeviceListener(const CPDeviceListener&) = delete;
    CPDeviceListener& operator=(const CPDeviceListener&) = delete;

    virtual void OnLostDevice() = 0;
    virtual void OnResetDevice() = 0;

private:
    friend void NotifyLostDevice();
    friend void NotifyResetDevice();
    friend int DeviceListenerCount();
    CPDeviceListener* prev_ = nullptr;
    CPDeviceListener* next_ = nullptr;
};

// Walk the list in order. A listener made during the walk is appended and is told too; one
// destroyed during the walk is skipped safely.
void NotifyLostDevice();
void NotifyResetDevice();
int DeviceListenerCount();
