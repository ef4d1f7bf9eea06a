// Draws whatever the input says: render states, a transform, a small texture
// and triangles of position-colour-texcoord vertices, into a small target.
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_control.h"

namespace {

struct TReader {
    const uint8_t* p;
    size_t left;
    template <class T>
    T Take()
    {
        T v{};
        const size_t n = left < sizeof(T) ? left : sizeof(T);
        if (n == 0) return v;
        std::memcpy(&v, p, n);
        p += n;
        left -= n;
        return v;
    }
};

struct TSetup {
    TSetup() : host(37, 23)
    {
        D3DSetRenderThreads(1);
        d3d = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = &host;
        pp.Windowed = 1;
        pp.EnableAutoDepthStencil = 1;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, device.Put());
    }
    TOffscreenHost host;
    TComRef<IDirect3D8> d3d;
    TComRef<IDirect3DDevice8> device;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TSetup setup;
    IDirect3DDevice8* dev = setup.device.Get();
    TReader in{data, size};

    const uint8_t flags = in.Take<uint8_t>();
    dev->SetRenderState(D3DRS_FILLMODE, (flags & 1) ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    dev->SetRenderState(D3DRS_CULLMODE, 1 + (flags >> 1) % 3);
    dev->SetRenderState(D3DRS_ZENABLE, (flags >> 3) & 1);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, 1 + ((flags >> 4) & 1));
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, 1 + ((flags >> 5) & 1));
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    if (flags & 0x40)
        for (int k = 0; k < 16; ++k) (&m._11)[k] = in.Take<float>();
    dev->SetTransform(D3DTS_WORLD, &m);

    TComRef<IDirect3DTexture8> texture;
    if (flags & 0x80) {
        const uint8_t dims = in.Take<uint8_t>();
        const UINT w = 1 + (dims & 15), h = 1 + (dims >> 4);
        const D3DFORMAT formats[4] = {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_R8G8B8, D3DFMT_A8R8G8B8};
        dev->CreateTexture(w, h, 1, 0, formats[in.Take<uint8_t>() & 3], D3DPOOL_MANAGED, texture.Put());
        D3DLOCKED_RECT lr{};
        if (texture && SUCCEEDED(texture->LockRect(0, &lr, nullptr, 0))) {
            for (UINT y = 0; y < h; ++y)
                for (int b = 0; b < lr.Pitch; ++b)
                    static_cast<uint8_t*>(lr.pBits)[y * lr.Pitch + b] = in.Take<uint8_t>();
            texture->UnlockRect(0);
        }
    }
    dev->SetTexture(0, texture.Get());

    const UINT triangles = UINT(in.left / 72);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    if (triangles > 0) {
        TComRef<IDirect3DVertexBuffer8> vb;
        dev->CreateVertexBuffer(triangles * 72, D3DUSAGE_WRITEONLY, 0x142, D3DPOOL_MANAGED, vb.Put());
        BYTE* p = nullptr;
        if (vb && SUCCEEDED(vb->Lock(0, 0, &p, 0))) {
            std::memcpy(p, in.p, size_t(triangles) * 72);  // triangles > 0: in.p is real
            vb->Unlock();
            dev->BeginScene();
            dev->SetStreamSource(0, vb.Get(), 24);
            dev->SetVertexShader(0x142);
            dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, triangles);
            dev->EndScene();
        }
    }
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    dev->SetTexture(0, nullptr);
    return 0;
}
