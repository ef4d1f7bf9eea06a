#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_internal.h"
#include "platform/d3d8/rasterizer.h"

using namespace d3d8impl;

namespace {

constexpr int kMaxSide = 16384;        // largest back buffer side
constexpr int kMaxTextureSide = 8192;  // largest texture side
constexpr UINT kMaxVertexBuffer = 1u << 30;
constexpr DWORD kStages = 8;

bool IsBackBufferFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8; }

int TextureBytesPerPixel(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_R5G6B5:
    case D3DFMT_A1R5G5B5: return 2;
    case D3DFMT_R8G8B8: return 3;
    case D3DFMT_A8R8G8B8: return 4;
    default: return 0;
    }
}

// Where a lock starts: the whole picture without a rectangle, else the
// rectangle's top left corner; false for a rectangle that is empty or
// reaches outside the picture.
bool LockOrigin(const RECT* rect, int width, int height, int& x, int& y)
{
    if (!rect) return true;
    if (rect->left < 0 || rect->top < 0 || rect->right > width || rect->bottom > height || rect->left >= rect->right ||
        rect->top >= rect->bottom)
        return false;
    x = rect->left;
    y = rect->top;
    return true;
}

inline uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }
inline uint32_t Expand6(uint32_t v) { return (v << 2) | (v >> 4); }

// ---- surfaces -------------------------------------------------------------------

class TSurface final : public IDirect3DSurface8 {
public:
    TSurface(std::shared_ptr<TDeviceShared> dev, bool isDepth, int w, int h, D3DFORMAT format)
        : dev_(std::move(dev)), isDepth_(isDepth), width_(w), height_(h), format_(format)
    {
        if (isDepth) depth_.assign(size_t(w) * size_t(h), 0xFFFF);
        else color_.assign(size_t(w) * size_t(h), 0xFF000000u);
        Count([](TD3DCounters& c) { ++c.liveSurfaces; });
    }
    ~TSurface() override
    {
        Count([](TD3DCounters& c) { --c.liveSurfaces; });
    }

    HRESULT GetDesc(D3DSURFACE_DESC* desc) override
    {
        if (!desc) return D3DERR_INVALIDCALL;
        *desc = {
            format_,      D3DRTYPE_SURFACE, 0, D3DPOOL_DEFAULT, UINT(size_t(width_) * height_ * (isDepth_ ? 2 : 4)),
            UINT(width_), UINT(height_)};
        return D3D_OK;
    }
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) override
    {
        if (!locked || isDepth_ || locked_) return D3DERR_INVALIDCALL;
        int x = 0, y = 0;
        if (!LockOrigin(rect, width_, height_, x, y)) return D3DERR_INVALIDCALL;
        locked_ = true;
        locked->Pitch = width_ * 4;
        locked->pBits = color_.data() + size_t(y) * width_ + x;
        return D3D_OK;
    }
    HRESULT UnlockRect() override
    {
        if (!locked_) return D3DERR_INVALIDCALL;
        locked_ = false;
        return D3D_OK;
    }

    TDeviceShared* Device() const { return dev_.get(); }
    bool IsDepth() const { return isDepth_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    uint32_t* Color() { return color_.data(); }
    uint16_t* Depth() { return depth_.data(); }

private:
    std::shared_ptr<TDeviceShared> dev_;
    bool isDepth_;
    int width_, height_;
    D3DFORMAT format_;
    std::vector<uint32_t> color_;
    std::vector<uint16_t> depth_;
    bool locked_ = false;
};

// ---- textures -------------------------------------------------------------------

class TTexture final : public IDirect3DTexture8 {
public:
    TTexture(std::shared_ptr<TDeviceShared> dev, int w, int h, D3DFORMAT format)
        : dev_(std::move(dev)),
          width_(w),
          height_(h),
          format_(format),
          bpp_(TextureBytesPerPixel(format)),
          pitch_((w * bpp_ + 3) & ~3),
          raw_(size_t(pitch_) * h),
          texels_(size_t(w + 1) * (h + 1))
    {
        Convert();
        Count([](TD3DCounters& c) { ++c.liveTextures; });
    }
    ~TTexture() override
    {
        Count([](TD3DCounters& c) { --c.liveTextures; });
    }

    DWORD GetLevelCount() override { return 1; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override
    {
        if (level != 0 || !desc) return D3DERR_INVALIDCALL;
        *desc = {format_, D3DRTYPE_SURFACE, 0, D3DPOOL_MANAGED, UINT(raw_.size()), UINT(width_), UINT(height_)};
        return D3D_OK;
    }
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD) override
    {
        if (level != 0 || !locked || locked_) return D3DERR_INVALIDCALL;
        if (ShouldFail(TD3DFailPoint::LockTexture, dev_->type)) return D3DERR_INVALIDCALL;
        int x = 0, y = 0;
        if (!LockOrigin(rect, width_, height_, x, y)) return D3DERR_INVALIDCALL;
        locked_ = true;
        locked->Pitch = pitch_;
        locked->pBits = raw_.data() + size_t(y) * pitch_ + size_t(x) * bpp_;
        return D3D_OK;
    }
    HRESULT UnlockRect(UINT level) override
    {
        if (level != 0 || !locked_) return D3DERR_INVALIDCALL;
        locked_ = false;
        Convert();
        return D3D_OK;
    }

    TDeviceShared* Device() const { return dev_.get(); }
    TRasterTexture View() const { return {texels_.data(), width_, height_, width_ + 1}; }

private:
    // Keeps a 32-bit copy of the texels for sampling, with column 0 repeated
    // after the last and row 0 after the last row (see TRasterTexture).
    void Convert()
    {
        const size_t pitch = size_t(width_) + 1;
        for (int y = 0; y < height_; ++y) {
            const uint8_t* s = raw_.data() + size_t(y) * pitch_;
            uint32_t* d = texels_.data() + size_t(y) * pitch;
            for (int x = 0; x < width_; ++x) {
                uint32_t c = 0;
                switch (format_) {
                case D3DFMT_R5G6B5: {
                    const uint32_t p = uint32_t(s[2 * x]) | uint32_t(s[2 * x + 1]) << 8;
                    c = 0xFF000000u | Expand5(p >> 11) << 16 | Expand6((p >> 5) & 63) << 8 | Expand5(p & 31);
                    break;
                }
                case D3DFMT_A1R5G5B5: {
                    const uint32_t p = uint32_t(s[2 * x]) | uint32_t(s[2 * x + 1]) << 8;
                    c = ((p & 0x8000) ? 0xFF000000u : 0) | Expand5((p >> 10) & 31) << 16 | Expand5((p >> 5) & 31) << 8 |
                        Expand5(p & 31);
                    break;
                }
                case D3DFMT_R8G8B8:
                    c = 0xFF000000u | uint32_t(s[3 * x + 2]) << 16 | uint32_t(s[3 * x + 1]) << 8 | s[3 * x];
                    break;
                default: std::memcpy(&c, s + 4 * x, 4); break;
                }
                d[x] = c;
            }
            d[width_] = d[0];
        }
        std::copy_n(texels_.data(), pitch, texels_.data() + size_t(height_) * pitch);
    }

    std::shared_ptr<TDeviceShared> dev_;
    int width_, height_;
    D3DFORMAT format_;
    int bpp_;
    int pitch_;
    std::vector<uint8_t> raw_;
    std::vector<uint32_t> texels_;
    bool locked_ = false;
};

// ---- vertex buffers -------------------------------------------------------------

class TVertexBuffer final : public IDirect3DVertexBuffer8 {
public:
    TVertexBuffer(std::shared_ptr<TDeviceShared> dev, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
        : dev_(std::move(dev)), data_(length), usage_(usage), fvf_(fvf), pool_(pool)
    {
        Count([](TD3DCounters& c) { ++c.liveVertexBuffers; });
    }
    ~TVertexBuffer() override
    {
        Count([](TD3DCounters& c) { --c.liveVertexBuffers; });
    }

    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD) override
    {
        if (!data) return D3DERR_INVALIDCALL;
        *data = nullptr;
        if (locked_ || offset > data_.size()) return D3DERR_INVALIDCALL;
        if (size == 0) size = UINT(data_.size() - offset);
        if (uint64_t(offset) + size > data_.size()) return D3DERR_INVALIDCALL;
        if (ShouldFail(TD3DFailPoint::LockVertexBuffer, dev_->type)) return D3DERR_INVALIDCALL;
        locked_ = true;
        *data = data_.data() + offset;
        return D3D_OK;
    }
    HRESULT Unlock() override
    {
        if (!locked_) return D3DERR_INVALIDCALL;
        locked_ = false;
        return D3D_OK;
    }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override
    {
        if (!desc) return D3DERR_INVALIDCALL;
        *desc = {D3DFMT_UNKNOWN, D3DRTYPE_VERTEXBUFFER, usage_, pool_, UINT(data_.size()), fvf_};
        return D3D_OK;
    }

    TDeviceShared* Device() const { return dev_.get(); }
    const uint8_t* Data() const { return data_.data(); }
    size_t Size() const { return data_.size(); }

private:
    std::shared_ptr<TDeviceShared> dev_;
    std::vector<uint8_t> data_;
    DWORD usage_;
    DWORD fvf_;
    D3DPOOL pool_;
    bool locked_ = false;
};

// ---- swap chains ----------------------------------------------------------------

class TSwapChain final : public IDirect3DSwapChain8 {
public:
    TSwapChain(std::shared_ptr<TDeviceShared> dev, HWND window, int w, int h, D3DFORMAT format)
        : dev_(dev), back_(TComRef<TSurface>::Adopt(new TSurface(dev, false, w, h, format)))
    {
        target_.window = window;
        RegisterPresentTarget(&target_);
        Count([](TD3DCounters& c) { ++c.liveSwapChains; });
    }
    ~TSwapChain() override
    {
        UnregisterPresentTarget(&target_);
        Count([](TD3DCounters& c) { --c.liveSwapChains; });
    }

    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride, const RGNDATA*) override
    {
        if (sourceRect || destRect) return D3DERR_INVALIDCALL;
        if (dev_->lost || ShouldFail(TD3DFailPoint::Present, dev_->type)) return D3DERR_DEVICELOST;
        if (!PresentTo(target_, destWindowOverride, back_->Color(), back_->Width(), back_->Height(),
                       back_->Width() * 4))
            return D3DERR_INVALIDCALL;
        Count([](TD3DCounters& c) { ++c.presents; });
        return D3D_OK;
    }
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBuffer) override
    {
        if (!backBuffer) return D3DERR_INVALIDCALL;
        *backBuffer = nullptr;
        if (index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
        back_->AddRef();
        *backBuffer = back_.Get();
        return D3D_OK;
    }

    TSurface* Back() const { return back_.Get(); }

private:
    std::shared_ptr<TDeviceShared> dev_;
    TComRef<TSurface> back_;
    TPresentTarget target_;
};

// What a flexible vertex format code says about the vertex layout.
struct TFvfLayout {
    bool valid = false;
    UINT size = 0;
    int diffuse = -1;
    int texCoord = -1;
};

TFvfLayout Layout(DWORD fvf)
{
    TFvfLayout l;
    const DWORD known = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEXCOUNT_MASK;
    if ((fvf & ~known) != 0 || (fvf & 0x00E) != D3DFVF_XYZ) return l;
    const DWORD texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8) return l;
    l.size = 12;
    if (fvf & D3DFVF_NORMAL) l.size += 12;
    if (fvf & D3DFVF_DIFFUSE) {
        l.diffuse = int(l.size);
        l.size += 4;
    }
    if (texCount > 0) l.texCoord = int(l.size);
    l.size += 8 * texCount;
    l.valid = true;
    return l;
}

UINT Side(UINT given, int fromWindow) { return given ? given : UINT(std::max(1, fromWindow)); }

// ---- the device -----------------------------------------------------------------

class TDevice final : public IDirect3DDevice8 {
public:
    TDevice(D3DDEVTYPE type, HWND focus, DWORD behavior, const D3DPRESENT_PARAMETERS& pp, int w, int h)
        : shared_(NewDeviceShared(type)), focus_(focus), behavior_(behavior)
    {
        own_ = TComRef<TSwapChain>::Adopt(
            new TSwapChain(shared_, pp.hDeviceWindow ? pp.hDeviceWindow : focus, w, h, pp.BackBufferFormat));
        renderTarget_ = TComRef<TSurface>(own_->Back());
        if (pp.EnableAutoDepthStencil) {
            autoDepth_ = TComRef<TSurface>::Adopt(new TSurface(shared_, true, w, h, D3DFMT_D16));
            depth_ = autoDepth_;
        }
        renderStates_[D3DRS_ZENABLE] = pp.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
        renderStates_[D3DRS_FILLMODE] = D3DFILL_SOLID;
        renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
        renderStates_[D3DRS_LIGHTING] = 1;
        for (auto& stage : stageStates_) {
            stage[D3DTSS_ALPHAOP] = D3DTOP_DISABLE;
            stage[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
            stage[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        }
        D3DXMatrixIdentity(&world_);
        D3DXMatrixIdentity(&view_);
        D3DXMatrixIdentity(&projection_);
        Count([](TD3DCounters& c) { ++c.liveDevices; });
    }
    ~TDevice() override
    {
        ForgetDeviceShared(shared_.get());
        Count([](TD3DCounters& c) { --c.liveDevices; });
    }

    HRESULT TestCooperativeLevel() override { return shared_->lost ? D3DERR_DEVICELOST : D3D_OK; }

    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pp, IDirect3DSwapChain8** swapChain) override
    {
        if (!swapChain) return D3DERR_INVALIDCALL;
        *swapChain = nullptr;
        if (!pp) return D3DERR_INVALIDCALL;
        HWND window = pp->hDeviceWindow ? pp->hDeviceWindow : focus_;
        if (!window || !IsBackBufferFormat(pp->BackBufferFormat) || pp->BackBufferCount > 3) return D3DERR_INVALIDCALL;
        const UINT w = Side(pp->BackBufferWidth, window->ClientWidth());
        const UINT h = Side(pp->BackBufferHeight, window->ClientHeight());
        if (w > UINT(kMaxSide) || h > UINT(kMaxSide)) return D3DERR_INVALIDCALL;
        if (ShouldFail(TD3DFailPoint::CreateSwapChain, shared_->type)) return D3DERR_OUTOFVIDEOMEMORY;
        auto* chain = new TSwapChain(shared_, window, int(w), int(h), pp->BackBufferFormat);
        // Additional swap chains have no depth buffer of their own and draw
        // with the device's: keep it at least as large as every back buffer.
        if (autoDepth_ && (autoDepth_->Width() < int(w) || autoDepth_->Height() < int(h))) {
            const bool current = depth_ == autoDepth_;
            autoDepth_ = TComRef<TSurface>::Adopt(new TSurface(shared_, true, std::max(autoDepth_->Width(), int(w)),
                                                               std::max(autoDepth_->Height(), int(h)), D3DFMT_D16));
            if (current) depth_ = autoDepth_;
        }
        Count([](TD3DCounters& c) { ++c.swapChainsCreated; });
        *swapChain = chain;
        return D3D_OK;
    }

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture8** texture) override
    {
        if (!texture) return D3DERR_INVALIDCALL;
        *texture = nullptr;
        if (width == 0 || height == 0 || width > UINT(kMaxTextureSide) || height > UINT(kMaxTextureSide) ||
            levels > 1 || usage != 0 || TextureBytesPerPixel(format) == 0 || pool != D3DPOOL_MANAGED)
            return D3DERR_INVALIDCALL;
        if (ShouldFail(TD3DFailPoint::CreateTexture, shared_->type)) return D3DERR_OUTOFVIDEOMEMORY;
        *texture = new TTexture(shared_, int(width), int(height), format);
        Count([](TD3DCounters& c) { ++c.texturesCreated; });
        return D3D_OK;
    }

    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer) override
    {
        if (!buffer) return D3DERR_INVALIDCALL;
        *buffer = nullptr;
        if (length == 0 || length > kMaxVertexBuffer || pool > D3DPOOL_SYSTEMMEM || (usage & ~D3DUSAGE_WRITEONLY) != 0)
            return D3DERR_INVALIDCALL;
        if (ShouldFail(TD3DFailPoint::CreateVertexBuffer, shared_->type)) return D3DERR_OUTOFVIDEOMEMORY;
        *buffer = new TVertexBuffer(shared_, length, usage, fvf, pool);
        Count([](TD3DCounters& c) { ++c.vertexBuffersCreated; });
        return D3D_OK;
    }

    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override
    {
        if (DWORD(state) >= kRenderStates) return D3DERR_INVALIDCALL;
        renderStates_[state] = value;
        return D3D_OK;
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override
    {
        if (DWORD(state) >= kRenderStates || !value) return D3DERR_INVALIDCALL;
        *value = renderStates_[state];
        return D3D_OK;
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override
    {
        if (stage >= kStages || DWORD(type) >= kStageStates) return D3DERR_INVALIDCALL;
        stageStates_[stage][type] = value;
        return D3D_OK;
    }
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override
    {
        if (stage >= kStages || DWORD(type) >= kStageStates || !value) return D3DERR_INVALIDCALL;
        *value = stageStates_[stage][type];
        return D3D_OK;
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override
    {
        D3DXMATRIX* slot = Transform(state);
        if (!slot || !matrix) return D3DERR_INVALIDCALL;
        *slot = *matrix;
        return D3D_OK;
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override
    {
        D3DXMATRIX* slot = Transform(state);
        if (!slot || !matrix) return D3DERR_INVALIDCALL;
        *matrix = *slot;
        return D3D_OK;
    }

    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBuffer) override
    {
        return own_->GetBackBuffer(index, type, backBuffer);
    }
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** surface) override
    {
        if (!surface) return D3DERR_INVALIDCALL;
        *surface = nullptr;
        if (!depth_) return D3DERR_NOTFOUND;
        depth_->AddRef();
        *surface = depth_.Get();
        return D3D_OK;
    }
    HRESULT GetRenderTarget(IDirect3DSurface8** surface) override
    {
        if (!surface) return D3DERR_INVALIDCALL;
        renderTarget_->AddRef();
        *surface = renderTarget_.Get();
        return D3D_OK;
    }
    HRESULT SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) override
    {
        TSurface* rt = renderTarget ? dynamic_cast<TSurface*>(renderTarget) : renderTarget_.Get();
        TSurface* ds = depthStencil ? dynamic_cast<TSurface*>(depthStencil) : nullptr;
        if (!rt || rt->IsDepth() || rt->Device() != shared_.get()) return D3DERR_INVALIDCALL;
        if (depthStencil) {
            if (!ds || !ds->IsDepth() || ds->Device() != shared_.get()) return D3DERR_INVALIDCALL;
            if (ds->Width() < rt->Width() || ds->Height() < rt->Height()) return D3DERR_INVALIDCALL;
        }
        renderTarget_ = TComRef<TSurface>(rt);
        depth_ = TComRef<TSurface>(ds);
        return D3D_OK;
    }

    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD) override
    {
        if ((count > 0 && !rects) || (flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) == 0) return D3DERR_INVALIDCALL;
        if ((flags & D3DCLEAR_ZBUFFER) && !depth_) return D3DERR_INVALIDCALL;
        if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
        const TRasterTarget rt = Target();
        const uint16_t zq = uint16_t(z * 65535.0f + 0.5f);
        const bool c = flags & D3DCLEAR_TARGET, d = flags & D3DCLEAR_ZBUFFER;
        if (count == 0) {
            raster_.Clear(rt, 0, 0, rt.width, rt.height, c, color | 0xFF000000u, d, zq);
        } else {
            for (DWORD i = 0; i < count; ++i)
                raster_.Clear(rt, rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2, c, color | 0xFF000000u, d, zq);
        }
        return D3D_OK;
    }
    HRESULT BeginScene() override
    {
        if (inScene_) return D3DERR_INVALIDCALL;
        inScene_ = true;
        return D3D_OK;
    }
    HRESULT EndScene() override
    {
        if (!inScene_) return D3DERR_INVALIDCALL;
        inScene_ = false;
        return D3D_OK;
    }

    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override
    {
        if (stream != 0) return D3DERR_INVALIDCALL;
        TVertexBuffer* vb = buffer ? dynamic_cast<TVertexBuffer*>(buffer) : nullptr;
        if (buffer && !vb) return D3DERR_INVALIDCALL;
        stream_ = TComRef<TVertexBuffer>(vb);
        stride_ = stride;
        return D3D_OK;
    }
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) override
    {
        if (stream != 0 || !buffer || !stride) return D3DERR_INVALIDCALL;
        if (stream_) stream_->AddRef();
        *buffer = stream_.Get();
        *stride = stride_;
        return D3D_OK;
    }
    HRESULT SetVertexShader(DWORD fvf) override
    {
        if (!Layout(fvf).valid) return D3DERR_INVALIDCALL;
        fvf_ = fvf;
        return D3D_OK;
    }
    HRESULT GetVertexShader(DWORD* fvf) override
    {
        if (!fvf) return D3DERR_INVALIDCALL;
        *fvf = fvf_;
        return D3D_OK;
    }
    HRESULT SetTexture(DWORD stage, IDirect3DTexture8* texture) override
    {
        if (stage >= kStages) return D3DERR_INVALIDCALL;
        TTexture* t = texture ? dynamic_cast<TTexture*>(texture) : nullptr;
        if (texture && (!t || t->Device() != shared_.get())) return D3DERR_INVALIDCALL;
        textures_[stage] = TComRef<TTexture>(t);
        return D3D_OK;
    }
    HRESULT GetTexture(DWORD stage, IDirect3DTexture8** texture) override
    {
        if (stage >= kStages || !texture) return D3DERR_INVALIDCALL;
        if (textures_[stage]) textures_[stage]->AddRef();
        *texture = textures_[stage].Get();
        return D3D_OK;
    }

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override
    {
        if (!inScene_ || type != D3DPT_TRIANGLELIST) return D3DERR_INVALIDCALL;
        if (primitiveCount == 0) return D3D_OK;
        // A buffer made by another (released) device is never drawn.
        if (!stream_ || stream_->Device() != shared_.get()) return D3DERR_INVALIDCALL;
        const TFvfLayout layout = Layout(fvf_);
        if (!layout.valid || stride_ < layout.size) return D3DERR_INVALIDCALL;
        // Vertices, not bytes: their byte size may pass 64 bits for a wide stride.
        const uint64_t vertices = uint64_t(startVertex) + uint64_t(primitiveCount) * 3;
        if (vertices > stream_->Size() / stride_) return D3DERR_INVALIDCALL;

        TRasterState st;
        st.transform = world_ * view_ * projection_;
        st.depthTest = renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE && depth_;
        st.wireframe = renderStates_[D3DRS_FILLMODE] == D3DFILL_WIREFRAME;
        switch (renderStates_[D3DRS_CULLMODE]) {
        case D3DCULL_NONE: st.cull = TRasterCull::None; break;
        case D3DCULL_CW: st.cull = TRasterCull::Clockwise; break;
        default: st.cull = TRasterCull::CounterClockwise; break;
        }
        st.linearMag = stageStates_[0][D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
        st.linearMin = stageStates_[0][D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
        if (textures_[0]) st.texture = textures_[0]->View();

        TRasterVertices v;
        v.data = stream_->Data();
        v.stride = stride_;
        v.positionOffset = 0;
        v.diffuseOffset = layout.diffuse;
        v.texCoordOffset = layout.texCoord;
        raster_.DrawTriangles(Target(), st, v, startVertex, primitiveCount);
        Count([primitiveCount](TD3DCounters& c) {
            ++c.drawCalls;
            c.trianglesDrawn += int(primitiveCount);
        });
        return D3D_OK;
    }

    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override
    {
        if (inScene_) return D3DERR_INVALIDCALL;
        return own_->Present(sourceRect, destRect, destWindowOverride, dirtyRegion);
    }

    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override
    {
        if (!params) return D3DERR_INVALIDCALL;
        *params = {D3DADAPTER_DEFAULT, shared_->type, focus_, behavior_};
        return D3D_OK;
    }

private:
    static constexpr DWORD kRenderStates = 256;
    static constexpr DWORD kStageStates = 32;

    D3DXMATRIX* Transform(D3DTRANSFORMSTATETYPE state)
    {
        switch (state) {
        case D3DTS_WORLD: return &world_;
        case D3DTS_VIEW: return &view_;
        case D3DTS_PROJECTION: return &projection_;
        default: return nullptr;
        }
    }

    TRasterTarget Target()
    {
        TRasterTarget t;
        TSurface* rt = renderTarget_.Get();
        t.color = rt->Color();
        t.colorPitch = rt->Width();
        t.width = rt->Width();
        t.height = rt->Height();
        if (depth_) {
            t.depth = depth_->Depth();
            t.depthPitch = depth_->Width();
        }
        return t;
    }

    std::shared_ptr<TDeviceShared> shared_;
    HWND focus_;
    DWORD behavior_;
    TComRef<TSwapChain> own_;
    TComRef<TSurface> autoDepth_;
    TComRef<TSurface> renderTarget_;
    TComRef<TSurface> depth_;
    DWORD renderStates_[kRenderStates] = {};
    DWORD stageStates_[kStages][kStageStates] = {};
    D3DXMATRIX world_, view_, projection_;
    TComRef<TVertexBuffer> stream_;
    UINT stride_ = 0;
    DWORD fvf_ = 0;
    TComRef<TTexture> textures_[kStages];
    bool inScene_ = false;
    TRasterizer raster_;
};

// ---- the Direct3D object ----------------------------------------------------------

class TDirect3D final : public IDirect3D8 {
public:
    TDirect3D()
    {
        Count([](TD3DCounters& c) { ++c.liveObjects; });
    }
    ~TDirect3D() override
    {
        Count([](TD3DCounters& c) { --c.liveObjects; });
    }

    UINT GetAdapterCount() override { return 1; }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override
    {
        if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
        if (ShouldFail(TD3DFailPoint::DisplayMode, 0)) return D3DERR_NOTAVAILABLE;
        *mode = {1920, 1080, 60, D3DFMT_X8R8G8B8};
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* pp, IDirect3DDevice8** device) override
    {
        if (!device) return D3DERR_INVALIDCALL;
        *device = nullptr;
        if (adapter != D3DADAPTER_DEFAULT || !pp || (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF))
            return D3DERR_INVALIDCALL;
        const DWORD vp = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                          D3DCREATE_MIXED_VERTEXPROCESSING);
        if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
            vp != D3DCREATE_MIXED_VERTEXPROCESSING)
            return D3DERR_INVALIDCALL;
        HWND window = pp->hDeviceWindow ? pp->hDeviceWindow : focusWindow;
        if (!window || pp->BackBufferCount > 3) return D3DERR_INVALIDCALL;
        if (!IsBackBufferFormat(pp->BackBufferFormat)) return D3DERR_NOTAVAILABLE;
        if (pp->EnableAutoDepthStencil && pp->AutoDepthStencilFormat != D3DFMT_D16) return D3DERR_NOTAVAILABLE;
        const UINT w = Side(pp->BackBufferWidth, window->ClientWidth());
        const UINT h = Side(pp->BackBufferHeight, window->ClientHeight());
        if (w > UINT(kMaxSide) || h > UINT(kMaxSide)) return D3DERR_INVALIDCALL;
        if (ShouldFail(TD3DFailPoint::CreateDevice, type)) return D3DERR_NOTAVAILABLE;
        *device = new TDevice(type, focusWindow, behaviorFlags, *pp, int(w), int(h));
        Count([type](TD3DCounters& c) { ++c.devicesCreated[type]; });
        return D3D_OK;
    }
};

}  // namespace

IDirect3D8* Direct3DCreate8(UINT sdkVersion)
{
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    if (ShouldFail(TD3DFailPoint::CreateObject, 0)) return nullptr;
    Count([](TD3DCounters& c) { ++c.objectsCreated; });
    return new TDirect3D;
}
