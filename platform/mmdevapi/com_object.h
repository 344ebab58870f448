// Reference counting shared by the COM objects of this layer.
#pragma once

#include <objbase.h>

#include <atomic>

namespace platform::mmdevapi {

// Counts every object of this layer from construction to destruction, so that a
// test can prove that a client gave back every reference it took.
class LiveObjectCounter {
public:
    LiveObjectCounter();
    LiveObjectCounter(const LiveObjectCounter&) = delete;
    LiveObjectCounter& operator=(const LiveObjectCounter&) = delete;
    ~LiveObjectCounter();
};

// The count starts at 1 for the creator; the object deletes itself when it drops to 0.
template <typename Derived>
class RefCounted {
public:
    ULONG AddRefImpl() { return refCount_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG ReleaseImpl() {
        ULONG remaining = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (remaining == 0) delete static_cast<Derived*>(this);
        return remaining;
    }

private:
    std::atomic<ULONG> refCount_{1};
    LiveObjectCounter live_;
};

// Hands an interface pointer to a caller: sets *object and takes a reference for it.
template <typename Interface>
HRESULT HandOut(Interface* itf, void** object) {
    *object = itf;
    itf->AddRef();
    return S_OK;
}

}  // namespace platform::mmdevapi

#define PLATFORM_IUNKNOWN_REFCOUNT                                     \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); } \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
