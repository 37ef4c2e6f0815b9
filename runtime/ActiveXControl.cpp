#include "runtime/ActiveXControl.h"

#include "runtime/Handles.h"

namespace cartulane {

namespace {

constexpr wchar_t kWindowClass[] = L"UserControl";

// IOleControlSite::TranslateAccelerator's modifier flags (KEYMODIFIERS).
constexpr DWORD kKeyShift = 1, kKeyControl = 2, kKeyAlt = 4;

LONG TwipsToHimetric(LONG twips) { return ::MulDiv(twips, 2540, 1440); }

ATOM RegisterWindowClass(WNDPROC procedure) {
    WNDCLASSEXW wc{sizeof(wc)};
    wc.lpfnWndProc = procedure;
    wc.hInstance = com::ThisModule();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    const ATOM atom = ::RegisterClassExW(&wc);
    return atom ? atom : static_cast<ATOM>(::GetClassInfoExW(wc.hInstance, kWindowClass, &wc));
}

}  // namespace

// The connection point of the control's event interface: it keeps the sinks that
// containers advise, although this control raises no events.
class ActiveXControl::EventPoint final : public IConnectionPoint, com::ModuleObject {
public:
    explicit EventPoint(ActiveXControl* owner) : owner_(owner) { owner_->AddRef(); }
    ~EventPoint() { owner_->Release(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
            *object = static_cast<IConnectionPoint*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = owner_->events_;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
        return owner_->QueryInterface(IID_PPV_ARGS(container));
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        ComPtr<IUnknown> events;
        if (FAILED(sink->QueryInterface(owner_->events_, reinterpret_cast<void**>(events.GetAddressOf()))) &&
            FAILED(sink->QueryInterface(IID_PPV_ARGS(&events))))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = owner_->nextCookie_++;
        owner_->eventSinks_[*cookie] = events;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        return owner_->eventSinks_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> refs_{1};
    ActiveXControl* owner_;
};

ActiveXControl::ActiveXControl(const CLSID& clsid, const IID& events, SIZEL designTwips)
    : clsid_(clsid), events_(events), extent_{TwipsToHimetric(designTwips.cx), TwipsToHimetric(designTwips.cy)} {}

ActiveXControl::~ActiveXControl() = default;

void ActiveXControl::UnregisterWindowClass() { ::UnregisterClassW(kWindowClass, com::ThisModule()); }

// ---- IUnknown ----

STDMETHODIMP ActiveXControl::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (SUCCEEDED(QueryOwnInterface(iid, object))) return S_OK;
    if (iid == IID_IUnknown || iid == IID_IOleObject) {
        *object = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) {
        *object = static_cast<IOleInPlaceObject*>(this);
    } else if (iid == IID_IOleInPlaceActiveObject) {
        *object = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (iid == IID_IViewObject || iid == IID_IViewObject2) {
        *object = static_cast<IViewObject2*>(this);
    } else if (iid == IID_IOleControl) {
        *object = static_cast<IOleControl*>(this);
    } else if (iid == IID_IPersist || iid == IID_IPersistStreamInit) {
        *object = static_cast<IPersistStreamInit*>(this);
    } else if (iid == IID_IPersistPropertyBag) {
        *object = static_cast<IPersistPropertyBag*>(this);
    } else if (iid == IID_IQuickActivate) {
        *object = static_cast<IQuickActivate*>(this);
    } else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2) {
        *object = static_cast<IProvideClassInfo2*>(this);
    } else if (iid == IID_IConnectionPointContainer) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ActiveXControl::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) ActiveXControl::Release() {
    const ULONG left = --refs_;
    if (left == 0) {
        refs_ = 1;  // calls made while the window goes must not come back here
        DestroyControlWindow();
        delete this;
    }
    return left;
}

// ---- IOleObject ----

STDMETHODIMP ActiveXControl::SetClientSite(IOleClientSite* site) {
    clientSite_ = site;
    controlSite_.Reset();
    if (site) site->QueryInterface(IID_PPV_ARGS(&controlSite_));
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    return clientSite_ ? clientSite_.CopyTo(site) : (*site = nullptr, S_OK);
}

STDMETHODIMP ActiveXControl::Close(DWORD) {
    InPlaceDeactivate();
    if (adviseHolder_) adviseHolder_->SendOnClose();
    return S_OK;
}

STDMETHODIMP ActiveXControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
    if (site && !clientSite_) SetClientSite(site);
    switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
            return InPlaceActivate(false, parent, position);
        case OLEIVERB_UIACTIVATE:
            return InPlaceActivate(true, parent, position);
        case OLEIVERB_HIDE:
            if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
            return S_OK;
        default:
            return OLEOBJ_S_INVALIDVERB;
    }
}

STDMETHODIMP ActiveXControl::EnumVerbs(IEnumOLEVERB** verbs) { return ::OleRegEnumVerbs(clsid_, verbs); }

STDMETHODIMP ActiveXControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

STDMETHODIMP ActiveXControl::GetUserType(DWORD form, LPOLESTR* type) { return ::OleRegGetUserType(clsid_, form, type); }

STDMETHODIMP ActiveXControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP ActiveXControl::Advise(IAdviseSink* sink, DWORD* cookie) {
    if (!adviseHolder_) RETURN_IF_FAILED(::CreateOleAdviseHolder(&adviseHolder_));
    return adviseHolder_->Advise(sink, cookie);
}

STDMETHODIMP ActiveXControl::Unadvise(DWORD cookie) {
    return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP ActiveXControl::EnumAdvise(IEnumSTATDATA** advises) {
    if (!advises) return E_POINTER;
    *advises = nullptr;
    return adviseHolder_ ? adviseHolder_->EnumAdvise(advises) : S_OK;
}

STDMETHODIMP ActiveXControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

// ---- in-place activation ----

HRESULT ActiveXControl::InPlaceActivate(bool uiActivate, HWND parentHint, LPCRECT position) {
    if (!inPlaceActive_) {
        if (!clientSite_) return E_UNEXPECTED;
        ComPtr<IOleInPlaceSite> site;
        RETURN_IF_FAILED(clientSite_.As(&site));
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        RETURN_IF_FAILED(site->OnInPlaceActivate());
        inPlaceSite_ = site;
        inPlaceActive_ = true;

        HWND parent = parentHint;
        site->GetWindow(&parent);
        RECT where{}, clip{};
        OLEINPLACEFRAMEINFO frameInfo{sizeof(frameInfo)};
        frame_.Reset();
        uiWindow_.Reset();
        site->GetWindowContext(&frame_, &uiWindow_, &where, &clip, &frameInfo);
        if (position) where = *position;

        static const ATOM windowClass = RegisterWindowClass(&ActiveXControl::WindowProc);
        hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, MAKEINTATOM(windowClass), L"",
                                  WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent, nullptr,
                                  com::ThisModule(), this);
        if (!hwnd_) {
            const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
            InPlaceDeactivate();
            return FAILED(hr) ? hr : E_FAIL;
        }
        OnCreate();
        ::SetWindowPos(hwnd_, nullptr, where.left, where.top, where.right - where.left, where.bottom - where.top,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else if (position) {
        SetObjectRects(position, position);
    }
    if (hwnd_) ::ShowWindow(hwnd_, SW_SHOW);
    if (uiActivate) {
        UIActivate();
        if (hwnd_ && !IsOwnWindow(::GetFocus())) ::SetFocus(hwnd_);
    }
    return S_OK;
}

void ActiveXControl::UIActivate() {
    if (uiActive_ || !inPlaceActive_) return;
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    auto* active = static_cast<IOleInPlaceActiveObject*>(this);
    if (frame_) frame_->SetActiveObject(active, L"UserControl");
    if (uiWindow_) uiWindow_->SetActiveObject(active, L"UserControl");
    if (controlSite_) controlSite_->OnFocus(TRUE);
}

STDMETHODIMP ActiveXControl::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (controlSite_) controlSite_->OnFocus(FALSE);
    if (uiWindow_) uiWindow_->SetActiveObject(nullptr, nullptr);
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP ActiveXControl::InPlaceDeactivate() {
    if (!inPlaceActive_) return S_OK;
    UIDeactivate();
    DestroyControlWindow();
    inPlaceActive_ = false;
    ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
    frame_.Reset();
    uiWindow_.Reset();
    if (site) site->OnInPlaceDeactivate();
    return S_OK;
}

void ActiveXControl::DestroyControlWindow() {
    if (!hwnd_) return;
    OnDestroy();
    HWND window = hwnd_;
    hwnd_ = nullptr;
    ::DestroyWindow(window);
}

STDMETHODIMP ActiveXControl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP ActiveXControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    if (hwnd_) {
        ::SetWindowPos(hwnd_, nullptr, position->left, position->top, position->right - position->left,
                       position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

bool ActiveXControl::IsOwnWindow(HWND hwnd) const { return hwnd && (hwnd == hwnd_ || ::IsChild(hwnd_, hwnd)); }

// Keys pressed in the control stay in the control: Tab moves between its children
// (around, never out), plain keys go to the focused child, and only combinations with
// Ctrl or Alt are offered to the container.
STDMETHODIMP ActiveXControl::TranslateAccelerator(LPMSG message) {
    if (!message || message->message < WM_KEYFIRST || message->message > WM_KEYLAST) return S_FALSE;
    if (!hwnd_ || !IsOwnWindow(message->hwnd)) return S_FALSE;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    const bool keyDown = message->message == WM_KEYDOWN;
    if (keyDown && message->wParam == VK_TAB && !ctrl && !alt) {
        if (HWND next = ::GetNextDlgTabItem(hwnd_, ::GetFocus(), ::GetKeyState(VK_SHIFT) < 0)) ::SetFocus(next);
        return S_OK;
    }
    if (ctrl || alt || message->message == WM_SYSKEYDOWN || message->message == WM_SYSKEYUP) {
        if (controlSite_) {
            const DWORD modifiers =
                (::GetKeyState(VK_SHIFT) < 0 ? kKeyShift : 0) | (ctrl ? kKeyControl : 0) | (alt ? kKeyAlt : 0);
            if (controlSite_->TranslateAccelerator(message, modifiers) == S_OK) return S_OK;
        }
        return S_FALSE;
    }
    HWND focus = ::GetFocus();
    if (keyDown && message->wParam == VK_RETURN && focus && IsOwnWindow(focus)) {
        wchar_t className[16] = {};
        ::GetClassNameW(focus, className, 16);
        if (::lstrcmpiW(className, L"Button") == 0) {
            ::SendMessageW(focus, BM_CLICK, 0, 0);
            return S_OK;
        }
    }
    ::TranslateMessage(message);
    ::DispatchMessageW(message);
    return S_OK;
}

// ---- IViewObject2 ----

STDMETHODIMP ActiveXControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC target, LPCRECTL bounds,
                                  LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!target || !bounds) return E_INVALIDARG;
    RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
    ::FillRect(target, &area, ::GetSysColorBrush(COLOR_BTNFACE));
    if (hwnd_) {
        POINT origin;
        ::SetViewportOrgEx(target, bounds->left, bounds->top, &origin);
        ::SendMessageW(hwnd_, WM_PRINT, reinterpret_cast<WPARAM>(target),
                       PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND | PRF_NONCLIENT);
        ::SetViewportOrgEx(target, origin.x, origin.y, nullptr);
    }
    return S_OK;
}

STDMETHODIMP ActiveXControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    viewAspects_ = aspects;
    viewFlags_ = flags;
    viewSink_ = sink;
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = viewAspects_;
    if (flags) *flags = viewFlags_;
    if (sink) *sink = viewSink_ ? (viewSink_->AddRef(), viewSink_.Get()) : nullptr;
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

// ---- IOleControl, IPersist, IQuickActivate, IProvideClassInfo2, connection points ----

STDMETHODIMP ActiveXControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

STDMETHODIMP ActiveXControl::QuickActivate(QACONTAINER* container, QACONTROL* control) {
    if (!container || !control) return E_POINTER;
    if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
    SetClientSite(container->pClientSite);
    if (container->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    control->dwMiscStatus = kMiscStatus;
    control->dwViewStatus = 0;
    control->dwEventCookie = 0;
    control->dwPropNotifyCookie = 0;
    control->dwPointerActivationPolicy = 0;
    if (container->pUnkEventSink) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(FindConnectionPoint(events_, &point)))
            point->Advise(container->pUnkEventSink, &control->dwEventCookie);
    }
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetClassInfo(ITypeInfo** info) {
    return com::ModuleTypeInfo(com::ThisModule(), clsid_, info);
}

STDMETHODIMP ActiveXControl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = events_;
    return S_OK;
}

STDMETHODIMP ActiveXControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid != events_) return CONNECT_E_NOCONNECTION;
    *point = new (std::nothrow) EventPoint(this);
    return *point ? S_OK : E_OUTOFMEMORY;
}

// ---- the window ----

LRESULT CALLBACK ActiveXControl::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<ActiveXControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || (self->hwnd_ != hwnd && message != WM_NCCREATE && message != WM_CREATE))
        return ::DefWindowProcW(hwnd, message, wParam, lParam);

    // Focus arriving in any child makes the control the container's active object, so
    // that keys come through TranslateAccelerator.
    switch (message) {
        case WM_PARENTNOTIFY:
            if (LOWORD(wParam) == WM_LBUTTONDOWN || LOWORD(wParam) == WM_RBUTTONDOWN) self->UIActivate();
            break;
        case WM_MOUSEACTIVATE:
            self->UIActivate();
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_SETFOCUS) self->UIActivate();
            break;
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(NM_SETFOCUS)) self->UIActivate();
            break;
        case WM_SETFOCUS:
            if (HWND first = ::GetNextDlgTabItem(hwnd, nullptr, FALSE)) ::SetFocus(first);
            self->UIActivate();
            return 0;
        default:
            break;
    }
    bool handled = false;
    const LRESULT result = self->OnMessage(message, wParam, lParam, &handled);
    return handled ? result : ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace cartulane
