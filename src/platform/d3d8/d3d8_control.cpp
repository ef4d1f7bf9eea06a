#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/d3d8/d3d8_internal.h"
#include "platform/d3d8/rasterizer.h"
#include "platform/d3d8/render_threads.h"

namespace d3d8impl {
namespace {

// The bookkeeping lives as long as the process: objects held by globals of
// other libraries are released during the exit and still report here.
struct TState {
    std::mutex lock;  // guards everything below but the host part
    // Remaining failures per point and device type (index 0: any type).
    int fail[D3DFailPointCount][3] = {};
    TD3DCounters counters;
    uint64_t nextSerial = 1;
    std::vector<TDeviceShared*> devices;
    // Present targets have their own lock, held while a host draws a frame,
    // so that a host cannot go away in the middle; a host may call back into
    // the device layer from its drawing.
    std::recursive_mutex hostLock;
    std::vector<TPresentTarget*> targets;
};

TState& State()
{
    static TState* state = new TState;
    return *state;
}

// Uses up one failure of a slot: negative counts never run out.
bool Take(int& slot)
{
    if (slot == 0) return false;
    if (slot > 0) --slot;
    return true;
}

}  // namespace

bool ShouldFail(TD3DFailPoint point, DWORD deviceType)
{
    std::lock_guard<std::mutex> lock(State().lock);
    int* row = State().fail[static_cast<int>(point)];
    if ((deviceType == D3DDEVTYPE_HAL || deviceType == D3DDEVTYPE_REF) && Take(row[deviceType])) return true;
    return Take(row[0]);
}

void Count(const std::function<void(TD3DCounters&)>& change)
{
    std::lock_guard<std::mutex> lock(State().lock);
    change(State().counters);
}

std::shared_ptr<TDeviceShared> NewDeviceShared(D3DDEVTYPE type)
{
    auto shared = std::make_shared<TDeviceShared>();
    shared->type = type;
    std::lock_guard<std::mutex> lock(State().lock);
    shared->serial = State().nextSerial++;
    State().devices.push_back(shared.get());
    return shared;
}

void ForgetDeviceShared(TDeviceShared* shared)
{
    std::lock_guard<std::mutex> lock(State().lock);
    auto& d = State().devices;
    d.erase(std::remove(d.begin(), d.end(), shared), d.end());
}

void RegisterPresentTarget(TPresentTarget* target)
{
    std::lock_guard<std::recursive_mutex> lock(State().hostLock);
    State().targets.push_back(target);
}

void UnregisterPresentTarget(TPresentTarget* target)
{
    std::lock_guard<std::recursive_mutex> lock(State().hostLock);
    auto& t = State().targets;
    t.erase(std::remove(t.begin(), t.end(), target), t.end());
}

bool PresentTo(TPresentTarget& target, HWND overrideWindow, const uint32_t* pixels, int width, int height, int pitch)
{
    std::lock_guard<std::recursive_mutex> lock(State().hostLock);
    HWND window = overrideWindow ? overrideWindow : target.window;
    if (!window) return false;
    window->PresentFrame(pixels, width, height, pitch);
    return true;
}

void DetachHost(THostWindow* host)
{
    std::lock_guard<std::recursive_mutex> lock(State().hostLock);
    for (TPresentTarget* t : State().targets)
        if (t->window == host) t->window = nullptr;
}

}  // namespace d3d8impl

// ---- public controls ----------------------------------------------------------

void D3DSetRenderThreads(int count) { TRenderThreads::Instance().SetCount(count); }

int D3DRenderThreads() { return TRenderThreads::Instance().Count(); }

bool D3DSetInstructionSet(TD3DInstructionSet set)
{
    switch (set) {
    case TD3DInstructionSet::Sse2: return SetRasterInstructions(TRasterInstructions::Sse2);
    case TD3DInstructionSet::Avx2: return SetRasterInstructions(TRasterInstructions::Avx2);
    default: return SetRasterInstructions(TRasterInstructions::Best);
    }
}

void D3DFailNext(TD3DFailPoint point, int times, DWORD deviceType)
{
    const int p = static_cast<int>(point);
    if (p < 0 || p >= D3DFailPointCount) return;
    const int t = (deviceType == D3DDEVTYPE_HAL || deviceType == D3DDEVTYPE_REF) ? int(deviceType) : 0;
    std::lock_guard<std::mutex> lock(d3d8impl::State().lock);
    d3d8impl::State().fail[p][t] = times;
}

void D3DClearFailures()
{
    std::lock_guard<std::mutex> lock(d3d8impl::State().lock);
    std::memset(d3d8impl::State().fail, 0, sizeof d3d8impl::State().fail);
}

void D3DLoseDevices()
{
    std::lock_guard<std::mutex> lock(d3d8impl::State().lock);
    for (auto* d : d3d8impl::State().devices) d->lost = true;
}

TD3DCounters D3DCounters()
{
    std::lock_guard<std::mutex> lock(d3d8impl::State().lock);
    return d3d8impl::State().counters;
}

void D3DResetCounters()
{
    std::lock_guard<std::mutex> lock(d3d8impl::State().lock);
    TD3DCounters& c = d3d8impl::State().counters;
    c.objectsCreated = 0;
    std::fill(std::begin(c.devicesCreated), std::end(c.devicesCreated), 0);
    c.swapChainsCreated = 0;
    c.texturesCreated = 0;
    c.vertexBuffersCreated = 0;
    c.presents = 0;
    c.drawCalls = 0;
    c.trianglesDrawn = 0;
}

// ---- host windows ---------------------------------------------------------------

THostWindow::~THostWindow() { d3d8impl::DetachHost(this); }

void TOffscreenHost::PresentFrame(const uint32_t* pixels, int width, int height, int pitch)
{
    ++frameCount_;
    frameWidth_ = std::max(width, 0);
    frameHeight_ = std::max(height, 0);
    frame_.resize(size_t(frameWidth_) * size_t(frameHeight_));
    for (int y = 0; y < frameHeight_; ++y)
        std::memcpy(frame_.data() + size_t(y) * frameWidth_,
                    reinterpret_cast<const uint8_t*>(pixels) + size_t(y) * size_t(pitch), size_t(frameWidth_) * 4);
}

uint32_t TOffscreenHost::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= frameWidth_ || y >= frameHeight_) return 0;
    return frame_[size_t(y) * frameWidth_ + x];
}
