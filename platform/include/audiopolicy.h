// Core Audio session interfaces: session manager, enumerator, controls, simple
// volume, and the notification interface that clients implement.
#pragma once

#include "audiosessiontypes.h"
#include "objbase.h"

// A fixed underlying type for the same reason as AudioSessionState's.
typedef enum AudioSessionDisconnectReason : int {
    DisconnectReasonDeviceRemoval = 0,
    DisconnectReasonServerShutdown = 1,
    DisconnectReasonFormatChanged = 2,
    DisconnectReasonSessionLogoff = 3,
    DisconnectReasonSessionDisconnected = 4,
    DisconnectReasonExclusiveModeOverride = 5
} AudioSessionDisconnectReason;

// Only passed by pointer here; their layout is not used.
struct IAudioSessionNotification;
struct IAudioVolumeDuckNotification;

inline constexpr IID IID_IAudioSessionEvents = {0x24918ACC, 0x64B3, 0x37C1, {0x8C, 0xA9, 0x74, 0xA6, 0x6E, 0x99, 0x57, 0xA8}};
inline constexpr IID IID_IAudioSessionControl = {0xF4B1A599, 0x7266, 0x4319, {0xA8, 0xCA, 0xE7, 0x0A, 0xCB, 0x11, 0xE8, 0xCD}};
inline constexpr IID IID_IAudioSessionControl2 = {0xBFB7FF88, 0x7239, 0x4FC9, {0x8F, 0xA2, 0x07, 0xC9, 0x50, 0xBE, 0x9C, 0x6D}};
inline constexpr IID IID_IAudioSessionManager = {0xBFA971F1, 0x4D5E, 0x40BB, {0x93, 0x5E, 0x96, 0x70, 0x39, 0xBF, 0xBE, 0xE4}};
inline constexpr IID IID_IAudioSessionManager2 = {0x77AA99A0, 0x1BD6, 0x484F, {0x8B, 0xC7, 0x2C, 0x65, 0x4C, 0x9A, 0x9B, 0x6F}};
inline constexpr IID IID_IAudioSessionEnumerator = {0xE2F5BB11, 0x0570, 0x40CA, {0xAC, 0xDD, 0x3A, 0xA0, 0x12, 0x77, 0xDE, 0xE8}};
inline constexpr IID IID_ISimpleAudioVolume = {0x87CE5498, 0x68D6, 0x44E5, {0x92, 0x15, 0x6D, 0xA4, 0x7E, 0xF8, 0x83, 0xD8}};

struct IAudioSessionEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR NewDisplayName, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR NewIconPath, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float NewVolume, BOOL NewMute, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD ChannelCount, float NewChannelVolumeArray[],
                                                             DWORD ChangedChannel, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID NewGroupingParam, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState NewState) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason DisconnectReason) = 0;

protected:
    ~IAudioSessionEvents() = default;
};

struct IAudioSessionControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR Value, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIconPath(LPCWSTR Value, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGroupingParam(GUID* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGroupingParam(LPCGUID Override, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterAudioSessionNotification(IAudioSessionEvents* NewNotifications) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnregisterAudioSessionNotification(IAudioSessionEvents* NewNotifications) = 0;

protected:
    ~IAudioSessionControl() = default;
};

struct IAudioSessionControl2 : public IAudioSessionControl {
    virtual HRESULT STDMETHODCALLTYPE GetSessionIdentifier(LPWSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSessionInstanceIdentifier(LPWSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDuckingPreference(BOOL optOut) = 0;

protected:
    ~IAudioSessionControl2() = default;
};

struct ISimpleAudioVolume : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetMasterVolume(float fLevel, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMasterVolume(float* pfLevel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL bMute, LPCGUID EventContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMute(BOOL* pbMute) = 0;

protected:
    ~ISimpleAudioVolume() = default;
};

struct IAudioSessionEnumerator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(int* SessionCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSession(int SessionCount, IAudioSessionControl** Session) = 0;

protected:
    ~IAudioSessionEnumerator() = default;
};

struct IAudioSessionManager : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID AudioSessionGuid, DWORD StreamFlags,
                                                             IAudioSessionControl** SessionControl) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID AudioSessionGuid, DWORD StreamFlags,
                                                           ISimpleAudioVolume** AudioVolume) = 0;

protected:
    ~IAudioSessionManager() = default;
};

struct IAudioSessionManager2 : public IAudioSessionManager {
    virtual HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** SessionEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification* SessionNotification) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification* SessionNotification) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR sessionID,
                                                               IAudioVolumeDuckNotification* duckNotification) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification* duckNotification) = 0;

protected:
    ~IAudioSessionManager2() = default;
};
