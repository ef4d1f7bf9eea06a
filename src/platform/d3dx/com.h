// Result codes and counted interface references of the 3D layer.
//
// Every 3D object (the Direct3D object, devices, swap chains, surfaces,
// textures, vertex buffers, meshes) carries an intrusive reference count.
// Creation hands out one reference; AddRef adds one, Release drops one and
// destroys the object with the last. TComRef<T> holds one reference and
// drops it when it is reset, reassigned or destroyed, the way the callers'
// counted interface variables behave.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using LONG = int32_t;
using FLOAT = float;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// Results of the 3D layer's calls. Every failure is negative.
constexpr HRESULT D3D_OK = S_OK;
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x88760001u);
constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x88760002u);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x88760003u);
constexpr HRESULT D3DERR_DEVICELOST = static_cast<HRESULT>(0x88760004u);
constexpr HRESULT D3DERR_DEVICENOTRESET = static_cast<HRESULT>(0x88760005u);
constexpr HRESULT D3DERR_NOTFOUND = static_cast<HRESULT>(0x88760006u);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = static_cast<HRESULT>(0x88760007u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Base of every counted 3D object.
class IUnknown {
public:
    IUnknown() = default;
    IUnknown(const IUnknown&) = delete;
    IUnknown& operator=(const IUnknown&) = delete;

    ULONG AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release()
    {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    // The current count, for tests and diagnostics.
    ULONG RefCount() const { return refs_.load(std::memory_order_relaxed); }

protected:
    virtual ~IUnknown() = default;

private:
    std::atomic<ULONG> refs_{1};
};

// A counted reference: holds one reference to a T or nothing (nil).
template <class T>
class TComRef {
public:
    TComRef() = default;
    TComRef(std::nullptr_t) {}
    // Takes over a reference the caller already owns (as a creation call hands out).
    static TComRef Adopt(T* p)
    {
        TComRef r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own to p.
    explicit TComRef(T* p) : p_(p)
    {
        if (p_) p_->AddRef();
    }
    TComRef(const TComRef& o) : p_(o.p_)
    {
        if (p_) p_->AddRef();
    }
    TComRef(TComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~TComRef() { Reset(); }

    TComRef& operator=(const TComRef& o)
    {
        if (o.p_) o.p_->AddRef();
        T* old = std::exchange(p_, o.p_);
        if (old) old->Release();
        return *this;
    }
    TComRef& operator=(TComRef&& o) noexcept
    {
        if (this != &o) {
            T* old = std::exchange(p_, std::exchange(o.p_, nullptr));
            if (old) old->Release();
        }
        return *this;
    }
    TComRef& operator=(std::nullptr_t)
    {
        Reset();
        return *this;
    }

    // Drops the reference; the holder is nil afterwards.
    void Reset()
    {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Drops the reference held and returns the slot for a creation call to fill.
    T** Put()
    {
        Reset();
        return &p_;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool operator==(const TComRef& o) const { return p_ == o.p_; }
    bool operator==(std::nullptr_t) const { return p_ == nullptr; }
    bool operator==(const T* o) const { return p_ == o; }

private:
    T* p_ = nullptr;
};
