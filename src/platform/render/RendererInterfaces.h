#pragma once
// The interfaces through which a video window drives our video renderers: the renderer's own window,
// the mixing renderer's configuration, windowless drawing, aspect ratio and a custom surface allocator.
// Identifiers are the published ones. Members that only make sense with Direct3D surfaces are left out.
#include "platform/graph/GraphInterfaces.h"

namespace kestrine::platform {

// CLSID_VideoRenderer and CLSID_VideoMixingRenderer9 come with the graph interfaces.

// Window style bits the renderer window maps onto its Qt window.
inline constexpr LONG WS_CHILD = 0x40000000;
inline constexpr LONG WS_CLIPSIBLINGS = 0x04000000;
inline constexpr LONG WS_CAPTION = 0x00C00000;
inline constexpr LONG WS_THICKFRAME = 0x00040000;
inline constexpr LONG WS_EX_DLGMODALFRAME = 0x1;
inline constexpr LONG WS_EX_TOPMOST = 0x8;
inline constexpr LONG WS_EX_WINDOWEDGE = 0x100;
inline constexpr LONG WS_EX_CLIENTEDGE = 0x200;
inline constexpr LONG WS_EX_STATICEDGE = 0x20000;

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

// The renderer's own window. Handles are those of the message-window stand-in.
struct IVideoWindow : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A868B4-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT put_Caption(const WCHAR* caption) = 0;
    // A copy in task memory; the caller frees it with CoTaskMemFree.
    virtual HRESULT get_Caption(WCHAR** caption) = 0;
    virtual HRESULT put_WindowStyle(LONG style) = 0;
    virtual HRESULT get_WindowStyle(LONG* style) = 0;
    virtual HRESULT put_WindowStyleEx(LONG style) = 0;
    virtual HRESULT get_WindowStyleEx(LONG* style) = 0;
    virtual HRESULT put_Visible(LONG visible) = 0;  // OATRUE or OAFALSE
    virtual HRESULT get_Visible(LONG* visible) = 0;
    // 0 makes the window top-level; otherwise it becomes a child of that window.
    virtual HRESULT put_Owner(OAHWND owner) = 0;
    virtual HRESULT get_Owner(OAHWND* owner) = 0;
    // Input on the renderer window is handed to this window as if it happened there; 0 stops it.
    virtual HRESULT put_MessageDrain(OAHWND drain) = 0;
    virtual HRESULT get_MessageDrain(OAHWND* drain) = 0;
    // In the owner's coordinates, or the screen's for a top-level window.
    virtual HRESULT SetWindowPosition(LONG left, LONG top, LONG width, LONG height) = 0;
    virtual HRESULT GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) = 0;
};

inline constexpr DWORD VMR9Mode_Windowed = 0x1;
inline constexpr DWORD VMR9Mode_Windowless = 0x2;
inline constexpr DWORD VMR9Mode_Renderless = 0x4;

inline constexpr DWORD VMR9AspectRatioMode_None = 0;
inline constexpr DWORD VMR9AspectRatioMode_LetterBox = 1;

inline constexpr DWORD kMaxMixerStreams = 16;

struct IVMRFilterConfig9 : IUnknown {
    static constexpr IID kIid = MakeGuid("{5A804648-4F66-4867-9C43-4F5C822CF1B8}");
    using Base = IUnknown;
    // 1..16 input streams; VFW_E_WRONG_STATE once the renderer is connected.
    virtual HRESULT SetNumberOfStreams(DWORD maxStreams) = 0;
    virtual HRESULT GetNumberOfStreams(DWORD* maxStreams) = 0;
    virtual HRESULT SetRenderingPrefs(DWORD prefs) = 0;
    virtual HRESULT GetRenderingPrefs(DWORD* prefs) = 0;
    // VMR9Mode_Windowed, _Windowless or _Renderless.
    virtual HRESULT SetRenderingMode(DWORD mode) = 0;
    virtual HRESULT GetRenderingMode(DWORD* mode) = 0;
};

struct IVMRWindowlessControl9 : IUnknown {
    static constexpr IID kIid = MakeGuid("{8F537D09-F85E-4414-B23B-502E54C79927}");
    using Base = IUnknown;
    virtual HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) = 0;
    // source null: the whole picture; destination in the clipping window's coordinates.
    virtual HRESULT SetVideoPosition(const RECT* source, const RECT* destination) = 0;
    virtual HRESULT GetVideoPosition(RECT* source, RECT* destination) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetVideoClippingWindow(OAHWND window) = 0;
};

struct IVMRAspectRatioControl9 : IUnknown {
    static constexpr IID kIid = MakeGuid("{00D96C29-BBDE-4EFC-9901-BB5036392146}");
    using Base = IUnknown;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
};

struct IVMRSurfaceAllocator9;

struct IVMRSurfaceAllocatorNotify9 : IUnknown {
    static constexpr IID kIid = MakeGuid("{DCA3F5DF-BB3A-4D03-BD81-84614BFBFA0C}");
    using Base = IUnknown;
    // The renderer keeps a reference to the allocator until another one (or null) is advised.
    virtual HRESULT AdviseSurfaceAllocator(DWORD_PTR userId, IVMRSurfaceAllocator9* allocator) = 0;
};

struct IVMRSurfaceAllocator9 : IUnknown {
    static constexpr IID kIid = MakeGuid("{8D5148EA-3F5D-46CF-9DF1-D1B896EEDB1F}");
    using Base = IUnknown;
    // The allocator is told whom to report to; it must not hold the notify interface past the renderer's life.
    virtual HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* notify) = 0;
};

inline constexpr IID IID_IVideoWindow = IVideoWindow::kIid;
inline constexpr IID IID_IVMRFilterConfig9 = IVMRFilterConfig9::kIid;
inline constexpr IID IID_IVMRWindowlessControl9 = IVMRWindowlessControl9::kIid;
inline constexpr IID IID_IVMRAspectRatioControl9 = IVMRAspectRatioControl9::kIid;
inline constexpr IID IID_IVMRSurfaceAllocatorNotify9 = IVMRSurfaceAllocatorNotify9::kIid;
inline constexpr IID IID_IVMRSurfaceAllocator9 = IVMRSurfaceAllocator9::kIid;

// Packs a picture size as EC_VIDEO_SIZE_CHANGED carries it in param1.
constexpr LONG_PTR PackVideoSize(LONG width, LONG height)
{
    return static_cast<LONG_PTR>((static_cast<std::uint32_t>(height) & 0xFFFFu) << 16 | (static_cast<std::uint32_t>(width) & 0xFFFFu));
}

}  // namespace kestrine::platform
