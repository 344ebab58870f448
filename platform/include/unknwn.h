// IUnknown, the root of every COM interface. Interfaces are C++ structs whose pure
// virtual methods appear in the Windows SDK's slot order, so that the table the
// compiler builds has the same layout as the real one. No virtual destructor: it
// would add slots that the real interfaces do not have.
#pragma once

#include "guiddef.h"
#include "winerror.h"

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;
