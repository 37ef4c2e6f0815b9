#pragma once
// A windowed ActiveX control, as the form runtime provides one for a user control:
// the OLE interfaces a container uses to create, site, in-place activate, size, draw,
// persist (an empty state), give focus to and destroy it. The user control derives
// from it through com::ComObject (which gives it IUnknown; its interface table starts
// with ACTIVEX_CONTROL_INTERFACES), creates its children in OnCreate and handles its
// window's messages in OnControlMessage.

#include "runtime/ComServer.h"
#include "runtime/ConnectionPoint.h"
#include "runtime/Window.h"

#include <ocidl.h>
#include <olectl.h>

// The entries of a control's interface table for the interfaces every control answers.
#define ACTIVEX_CONTROL_INTERFACES(Class)                                                           \
    QITABENT(Class, IOleObject), QITABENTMULTI(Class, IOleWindow, IOleInPlaceObject),                 \
        QITABENT(Class, IOleInPlaceObject), QITABENT(Class, IOleInPlaceActiveObject),                 \
        QITABENTMULTI(Class, IViewObject, IViewObject2), QITABENT(Class, IViewObject2),               \
        QITABENT(Class, IOleControl), QITABENTMULTI(Class, IPersist, IPersistStreamInit),             \
        QITABENT(Class, IPersistStreamInit), QITABENT(Class, IPersistPropertyBag),                    \
        QITABENT(Class, IQuickActivate), QITABENTMULTI(Class, IProvideClassInfo, IProvideClassInfo2), \
        QITABENT(Class, IProvideClassInfo2), QITABENT(Class, IConnectionPointContainer)

namespace cartulane {

class ActiveXControl : public IOleObject,
                       public IOleInPlaceObject,
                       public IOleInPlaceActiveObject,
                       public IViewObject2,
                       public IOleControl,
                       public IPersistStreamInit,
                       public IPersistPropertyBag,
                       public IQuickActivate,
                       public IProvideClassInfo2,
                       public IConnectionPointContainer,
                       protected Window {
public:
    // OLEMISC flags, also written into the registry as MiscStatus.
    static constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                                         OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advises) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG message) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    // The container's modal dialog comes (FALSE) and goes (TRUE): the control's own modeless
    // windows wait with the container's.
    STDMETHODIMP EnableModeless(BOOL enable) override {
        EnableModelessWindows(enable != FALSE);
        return S_OK;
    }

    // IViewObject, IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC target, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override;
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override { return E_NOTIMPL; }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG*) override { return S_OK; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IPersist, IPersistStreamInit, IPersistPropertyBag: the control keeps no state.
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return S_OK; }
    STDMETHODIMP Save(IStream*, BOOL) override { return S_OK; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override { return S_OK; }
    STDMETHODIMP Load(IPropertyBag*, IErrorLog*) override { return S_OK; }
    STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return S_OK; }

    // IQuickActivate
    STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    STDMETHODIMP SetContentExtent(LPSIZEL size) override { return SetExtent(DVASPECT_CONTENT, size); }
    STDMETHODIMP GetContentExtent(LPSIZEL size) override { return GetExtent(DVASPECT_CONTENT, size); }

    // IProvideClassInfo, IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer: the one outgoing interface, the control's events.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    using Window::Hwnd;

protected:
    ActiveXControl(const CLSID& clsid, const IID& events, SIZEL designTwips);
    ~ActiveXControl() override;

    // The control's window exists (sized 0 x 0): make the children. Runs again when the
    // container activates the control anew after an in-place deactivation.
    virtual void OnCreate() = 0;
    // The window's messages, before the default handling; set handled to end there.
    virtual LRESULT OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) = 0;
    // The window is about to go: release what refers to the children.
    virtual void OnDestroy() {}
    // The control's window goes (the derived control calls this from its destructor, so
    // that OnDestroy runs while it is whole).
    void DestroyControlWindow();

    // A modal dialog over the pane (a message box, an input box, the folder browser), with
    // the container's own modeless windows disabled meanwhile, as a control's modal
    // dialogs must be shown.
    // The focus goes back where it was in the control once the dialog is gone.
    template <typename Show>
    auto Modal(Show&& show) {
        ComPtr<IOleInPlaceFrame> frame = frame_;  // the dialog may outlast the activation
        HWND focus = ::GetFocus();
        if (!IsOwnWindow(focus)) focus = nullptr;
        if (frame) frame->EnableModeless(FALSE);
        auto result = [&] {
            struct Depth {
                int& depth;
                ~Depth() { --depth; }
            } up{++modal_};
            const OwnDialogs own;
            return show();
        }();
        if (frame) frame->EnableModeless(TRUE);
        if (focus && ::IsWindow(focus) && IsOwnWindow(focus) && ::IsWindowVisible(focus)) ::SetFocus(focus);
        return result;
    }
    int ShowMessage(const std::wstring& text, const wchar_t* title, UINT style);
    // A modal dialog of the control's is up: what the control would change by itself waits.
    bool InModal() const { return modal_ > 0; }
    // Keys the control keeps for itself although the container would take them (a
    // shortcut of the control with Ctrl, say): they go to the focused child.
    virtual bool KeepsKey(const MSG&) { return false; }
    // Enables or disables the control's modeless windows (its forms) for EnableModeless.
    virtual void EnableModelessWindows(bool) {}
    // The window that owns the control's pop-ups: the top-level window it sits in.
    HWND OwnerWindow() const;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) final;
    HRESULT Verb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent, LPCRECT position);
    HRESULT InPlaceActivate(bool uiActivate, HWND parentHint, LPCRECT position);
    void UIActivate();
    // Focus arrived in the control: it is, or becomes again, the container's active object.
    void OnFocusIn();
    bool IsOwnWindow(HWND hwnd) const;

    const CLSID& clsid_;
    SIZEL extent_;  // HIMETRIC
    bool inPlaceActive_ = false;
    int modal_ = 0;  // modal dialogs of the control's up
    bool uiActive_ = false;
    ComPtr<IOleClientSite> clientSite_;
    ComPtr<IOleControlSite> controlSite_;
    ComPtr<IOleInPlaceSite> inPlaceSite_;
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IOleInPlaceUIWindow> uiWindow_;
    ComPtr<IOleAdviseHolder> adviseHolder_;
    ComPtr<IAdviseSink> viewSink_;
    DWORD viewAspects_ = 0;
    DWORD viewFlags_ = 0;
    com::EventSinks events_;
};

}  // namespace cartulane
