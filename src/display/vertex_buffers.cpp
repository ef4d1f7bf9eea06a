#include "display/vertex_buffers.h"

#include <algorithm>

namespace {

// Lives as long as the process: arrays held by globals go during the exit.
std::vector<TVertexBuffer_array*>& LiveArrays()
{
    static auto* arrays = new std::vector<TVertexBuffer_array*>;
    return *arrays;
}

}  // namespace

TVertexBuffer_array::TVertexBuffer_array() { LiveArrays().push_back(this); }

TVertexBuffer_array::~TVertexBuffer_array()
{
    auto& live = LiveArrays();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void TVertexBuffer_array::SetCount(int32_t n)
{
    Items.resize(size_t(std::max(n, 0)));
    for (Tvbuffer& b : Items) {
        b.Capacity = 0;
        b.FillMode = FillSolid;
        b.VertexBuffer = nullptr;
        b.MoreBuffers.clear();
    }
}

void TVertexBuffer_array::Clear() { Items.clear(); }

void TVertexBuffer_array::DeviceReset()
{
    for (Tvbuffer& b : Items) {
        b.VertexBuffer = nullptr;
        b.MoreBuffers.clear();
        b.Capacity = 0;
        b.PrimitiveCount = 0;
    }
    if (OnDeviceReset) OnDeviceReset();
}

void ResetAllVertexBufferArrays()
{
    // A reset handler may rebuild, but arrays do not come or go meanwhile.
    const std::vector<TVertexBuffer_array*> arrays = LiveArrays();
    for (TVertexBuffer_array* a : arrays) a->DeviceReset();
}
