// Controls of the software device that Direct3D itself does not have:
// the number of rendering threads, calls made to fail on purpose, and
// counters of what was created and drawn.
//
// Failures drive the recovery paths of the display engine in tests: a
// failing call returns its failure code as the real platform would when
// the hardware refuses (device creation, a lost device on present, no
// memory for a texture or a buffer).
#pragma once

#include "platform/d3d8/d3d8.h"

// Threads that rasterize a draw call (tiles of the target are shared out).
// 0 means one per processor core. Results never depend on the count.
void D3DSetRenderThreads(int count);
int D3DRenderThreads();

// Instruction sets the pixel pipeline can run on; the frames are the same
// on each. Best is the widest the processor has, and the default.
enum class TD3DInstructionSet { Best, Sse2, Avx2 };
// Chooses the set for the draws that follow; false, and no change, when the
// processor lacks it.
bool D3DSetInstructionSet(TD3DInstructionSet set);

// Calls that can be made to fail.
enum class TD3DFailPoint {
    CreateObject,        // Direct3DCreate8 yields nil (no library)
    DisplayMode,         // IDirect3D8::GetAdapterDisplayMode
    CreateDevice,        // IDirect3D8::CreateDevice
    CreateSwapChain,     // IDirect3DDevice8::CreateAdditionalSwapChain
    Present,             // Present of a device or a swap chain: D3DERR_DEVICELOST
    CreateTexture,       // IDirect3DDevice8::CreateTexture: D3DERR_OUTOFVIDEOMEMORY
    LockTexture,         // IDirect3DTexture8::LockRect
    CreateVertexBuffer,  // IDirect3DDevice8::CreateVertexBuffer: D3DERR_OUTOFVIDEOMEMORY
    LockVertexBuffer,    // IDirect3DVertexBuffer8::Lock
};
constexpr int D3DFailPointCount = 9;

// Makes the next `times` calls of a kind fail; times < 0 makes every call
// fail until cleared. With a device type (D3DDEVTYPE_HAL or D3DDEVTYPE_REF)
// only calls on or for devices of that type count and fail; 0 means any.
void D3DFailNext(TD3DFailPoint point, int times, DWORD deviceType = 0);
// Forgets every planned failure.
void D3DClearFailures();
// Every device alive now is lost: its presents and TestCooperativeLevel
// return D3DERR_DEVICELOST until it is released. New devices are not lost.
void D3DLoseDevices();

struct TD3DCounters {
    int objectsCreated = 0;
    int devicesCreated[3] = {0, 0, 0};  // by device type (index 1 hardware, 2 reference)
    int swapChainsCreated = 0;
    int texturesCreated = 0;
    int vertexBuffersCreated = 0;
    int presents = 0;        // successful presents, device and swap chains
    int drawCalls = 0;       // successful DrawPrimitive calls
    int trianglesDrawn = 0;  // triangles handed to DrawPrimitive (before clipping and culling)
    // Objects alive now.
    int liveObjects = 0;
    int liveDevices = 0;
    int liveSwapChains = 0;
    int liveTextures = 0;
    int liveVertexBuffers = 0;
    int liveSurfaces = 0;
};
TD3DCounters D3DCounters();
// Sets the creation and drawing counters to 0 (the live counts stay).
void D3DResetCounters();
