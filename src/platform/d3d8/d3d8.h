// A Direct3D 8 device drawn in software.
//
// The subset of Direct3D 8 that the display engine calls: the Direct3D
// object, devices bound to host windows with additional swap chains, managed
// textures in four 16/24/32-bit formats, vertex buffers of the
// position-colour-texcoord format, world/view/projection transforms, the
// render and texture-stage states that matter to the editor, triangle-list
// drawing, clear and present.
//
// Every object is counted (see com.h): creation calls hand out one
// reference through their last argument; Get* calls that return an object
// add a reference the caller must drop. Objects made by a device stay valid
// after the device is gone, but a device refuses to draw from, or render
// into, objects of another device.
//
// Drawing follows the fixed pipeline: each vertex position is multiplied
// (row vector) by world x view x projection; triangles are clipped against
// the near (z = 0) and far (z = w) planes; culling, solid or wireframe fill,
// a 16-bit depth buffer with the less-or-equal test, perspective-correct
// texture coordinates and colours, point or linear texture filtering with
// wrapping, and texture colour times diffuse colour on stage 0 (diffuse alone
// when no texture is set). Pixel centres lie at (x + 0.5, y + 0.5); a pixel
// on the shared edge of two triangles belongs to exactly one of them (the
// top-left rule). Lighting is not modelled: vertices keep their diffuse colour.
#pragma once

#include <cstdint>

#include "platform/d3d8/host_window.h"
#include "platform/d3dx/com.h"
#include "platform/d3dx/d3dx8math.h"

constexpr UINT D3D_SDK_VERSION = 120;
constexpr UINT D3DADAPTER_DEFAULT = 0;

// A colour 0xAARRGGBB.
using D3DCOLOR = DWORD;
constexpr D3DCOLOR D3DCOLOR_XRGB(unsigned r, unsigned g, unsigned b)
{
    return 0xFF000000u | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}

enum D3DFORMAT : DWORD {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,    // 3 bytes: blue, green, red
    D3DFMT_A8R8G8B8 = 21,  // 4 bytes: blue, green, red, alpha
    D3DFMT_X8R8G8B8 = 22,  // 4 bytes: blue, green, red, unused
    D3DFMT_R5G6B5 = 23,    // 16 bits: red 11-15, green 5-10, blue 0-4
    D3DFMT_A1R5G5B5 = 25,  // 16 bits: alpha 15, red 10-14, green 5-9, blue 0-4
    D3DFMT_D16 = 80,       // 16-bit depth
};

enum D3DDEVTYPE : DWORD { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2 };

enum D3DPOOL : DWORD { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2 };

enum D3DMULTISAMPLE_TYPE : DWORD { D3DMULTISAMPLE_NONE = 0 };

enum D3DSWAPEFFECT : DWORD { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };

enum D3DBACKBUFFER_TYPE : DWORD { D3DBACKBUFFER_TYPE_MONO = 0 };

enum D3DRESOURCETYPE : DWORD { D3DRTYPE_SURFACE = 1, D3DRTYPE_TEXTURE = 3, D3DRTYPE_VERTEXBUFFER = 6 };

enum D3DPRIMITIVETYPE : DWORD { D3DPT_TRIANGLELIST = 4 };

enum D3DTRANSFORMSTATETYPE : DWORD { D3DTS_VIEW = 2, D3DTS_PROJECTION = 3, D3DTS_WORLD = 256 };

enum D3DRENDERSTATETYPE : DWORD {
    D3DRS_ZENABLE = 7,     // D3DZB_FALSE or D3DZB_TRUE
    D3DRS_FILLMODE = 8,    // D3DFILLMODE
    D3DRS_CULLMODE = 22,   // D3DCULL
    D3DRS_LIGHTING = 137,  // kept, not modelled
};
enum D3DZBUFFERTYPE : DWORD { D3DZB_FALSE = 0, D3DZB_TRUE = 1 };
enum D3DFILLMODE : DWORD { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
// Which winding is culled, as seen on the screen.
enum D3DCULL : DWORD { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };

enum D3DTEXTURESTAGESTATETYPE : DWORD {
    D3DTSS_ALPHAOP = 4,     // kept, not modelled: the frame has no alpha
    D3DTSS_MAGFILTER = 16,  // D3DTEXTUREFILTERTYPE
    D3DTSS_MINFILTER = 17,  // D3DTEXTUREFILTERTYPE
};
enum D3DTEXTUREOP : DWORD { D3DTOP_DISABLE = 1 };
enum D3DTEXTUREFILTERTYPE : DWORD { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };

// Flexible vertex format bits. A vertex holds, in this order, the position
// (three singles), the normal (three singles, ignored), the diffuse colour
// (D3DCOLOR) and the texture coordinate pairs (two singles each).
constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_TEX1 = 0x100;
constexpr DWORD D3DFVF_TEXCOUNT_MASK = 0xF00;
constexpr DWORD D3DFVF_TEXCOUNT_SHIFT = 8;

constexpr DWORD D3DCLEAR_TARGET = 1;
constexpr DWORD D3DCLEAR_ZBUFFER = 2;

constexpr DWORD D3DUSAGE_WRITEONLY = 8;
constexpr DWORD D3DLOCK_NOSYSLOCK = 0x800;
constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr DWORD D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;

struct RECT {
    LONG left, top, right, bottom;
};
struct D3DRECT {
    LONG x1, y1, x2, y2;
};
struct RGNDATA;

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth;
    UINT BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    D3DSWAPEFFECT SwapEffect;
    HWND hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;
    UINT FullScreen_PresentationInterval;
};

struct D3DDISPLAYMODE {
    UINT Width;
    UINT Height;
    UINT RefreshRate;
    D3DFORMAT Format;
};

struct D3DLOCKED_RECT {
    int32_t Pitch;  // bytes from one row to the next
    void* pBits;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;
    UINT Width;
    UINT Height;
};

struct D3DVERTEXBUFFER_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;
    DWORD FVF;
};

struct D3DDEVICE_CREATION_PARAMETERS {
    UINT AdapterOrdinal;
    D3DDEVTYPE DeviceType;
    HWND hFocusWindow;
    DWORD BehaviorFlags;
};

// A render target (colour) or a depth buffer.
class IDirect3DSurface8 : public IUnknown {
public:
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
    // Colour surfaces only, whole surface or a rectangle of it; for reading back.
    virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;
};

class IDirect3DTexture8 : public IUnknown {
public:
    virtual DWORD GetLevelCount() = 0;
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    // Level 0 only. The pixels are in the texture's format, rows `Pitch` bytes
    // apart; what is written shows from the unlock on.
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;
};

class IDirect3DVertexBuffer8 : public IUnknown {
public:
    // size 0 locks from offset to the end.
    virtual HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;
};

// A back buffer of its own, presented to its own window.
class IDirect3DSwapChain8 : public IUnknown {
public:
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion) = 0;
    virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBuffer) = 0;
};

class IDirect3DDevice8 : public IUnknown {
public:
    // D3D_OK, or D3DERR_DEVICELOST once the device is lost.
    virtual HRESULT TestCooperativeLevel() = 0;
    virtual HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params, IDirect3DSwapChain8** swapChain) = 0;
    // One level, usage 0, formats R5G6B5, A1R5G5B5, R8G8B8 and A8R8G8B8, the managed pool.
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DTexture8** texture) = 0;
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer8** buffer) = 0;

    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;

    // The device's own back buffer (index 0, mono).
    virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBuffer) = 0;
    virtual HRESULT GetDepthStencilSurface(IDirect3DSurface8** surface) = 0;
    virtual HRESULT GetRenderTarget(IDirect3DSurface8** surface) = 0;
    // A nil render target keeps the current one; a nil depth surface draws without depth.
    virtual HRESULT SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) = 0;

    // Clears the whole render target, or the given rectangles of it.
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;

    virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) = 0;
    virtual HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) = 0;
    // The flexible vertex format of the vertices drawn (D3DFVF_ bits).
    virtual HRESULT SetVertexShader(DWORD fvf) = 0;
    virtual HRESULT GetVertexShader(DWORD* fvf) = 0;
    virtual HRESULT SetTexture(DWORD stage, IDirect3DTexture8* texture) = 0;
    virtual HRESULT GetTexture(DWORD stage, IDirect3DTexture8** texture) = 0;
    // Draws primitiveCount triangles from vertex startVertex of stream 0 on,
    // inside BeginScene / EndScene.
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;

    // Shows the device's own back buffer in its window (or the override).
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion) = 0;

    virtual HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) = 0;
};

class IDirect3D8 : public IUnknown {
public:
    virtual UINT GetAdapterCount() = 0;
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) = 0;
};

// The creation entry point: nil unless sdkVersion is D3D_SDK_VERSION.
IDirect3D8* Direct3DCreate8(UINT sdkVersion);
