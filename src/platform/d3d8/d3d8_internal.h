// Bookkeeping shared by the software device's objects: planned failures,
// counters, and the windows that presents go to.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/d3d8/d3d8_control.h"

namespace d3d8impl {

// True when a planned failure applies to this call (and uses it up).
bool ShouldFail(TD3DFailPoint point, DWORD deviceType);

// Changes the counters under their lock.
void Count(const std::function<void(TD3DCounters&)>& change);

// What every object made by one device shares with it; it outlives the device.
struct TDeviceShared {
    uint64_t serial = 0;
    D3DDEVTYPE type = D3DDEVTYPE_HAL;
    std::atomic<bool> lost{false};
};
std::shared_ptr<TDeviceShared> NewDeviceShared(D3DDEVTYPE type);
void ForgetDeviceShared(TDeviceShared* shared);

// A window that presents go to; cleared when its host window goes away.
struct TPresentTarget {
    HWND window = nullptr;
};
void RegisterPresentTarget(TPresentTarget* target);
void UnregisterPresentTarget(TPresentTarget* target);
// Hands the frame to the target's window (or the override) under the lock
// that host destruction takes; false when there is no window.
bool PresentTo(TPresentTarget& target, HWND overrideWindow, const uint32_t* pixels, int width, int height, int pitch);

}  // namespace d3d8impl
