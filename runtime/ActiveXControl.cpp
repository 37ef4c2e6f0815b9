#include "runtime/ActiveXControl.h"

#include "runtime/Handles.h"

#include <cstddef>
#include <type_traits>

namespace cartulane {

namespace {

// IOleControlSite::TranslateAccelerator's modifier flags (KEYMODIFIERS).
constexpr DWORD kKeyShift = 1, kKeyControl = 2, kKeyAlt = 4;

LONG TwipsToHimetric(LONG twips) { return ::MulDiv(twips, 2540, 1440); }

bool HasClass(HWND hwnd, const wchar_t* name) {
    wchar_t className[16] = {};
    ::GetClassNameW(hwnd, className, 16);
    return ::lstrcmpiW(className, name) == 0;
}

// Whether a structure of cbSize bytes reaches as far as the member at offset, of size.
bool Covers(UINT cbSize, size_t offset, size_t size) { return offset + size <= cbSize; }
#define COVERS(structure, member) \
    Covers((structure)->cbSize, offsetof(std::remove_pointer_t<decltype(structure)>, member), sizeof((structure)->member))

}  // namespace

ActiveXControl::ActiveXControl(const CLSID& clsid, const IID& events, SIZEL designTwips)
    : clsid_(clsid), extent_{TwipsToHimetric(designTwips.cx), TwipsToHimetric(designTwips.cy)}, events_(events) {}

ActiveXControl::~ActiveXControl() = default;

// ---- IOleObject ----

STDMETHODIMP ActiveXControl::SetClientSite(IOleClientSite* site) {
    clientSite_ = site;
    controlSite_.Reset();
    if (site) site->QueryInterface(IID_PPV_ARGS(&controlSite_));
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    return clientSite_.CopyTo(site);
}

STDMETHODIMP ActiveXControl::Close(DWORD) {
    InPlaceDeactivate();
    if (adviseHolder_) adviseHolder_->SendOnClose();
    return S_OK;
}

STDMETHODIMP ActiveXControl::DoVerb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent,
                                    LPCRECT position) {
    return Boundary([&] { return Verb(verb, message, site, index, parent, position); });
}

HRESULT ActiveXControl::Verb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
    if (site && !clientSite_) SetClientSite(site);
    switch (verb) {
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
            return InPlaceActivate(false, parent, position);
        case OLEIVERB_UIACTIVATE:
            return InPlaceActivate(true, parent, position);
        case OLEIVERB_HIDE:
            if (Hwnd()) ::ShowWindow(Hwnd(), SW_HIDE);
            return S_OK;
        case OLEIVERB_DISCARDUNDOSTATE:
            return S_OK;  // there is no undo state
        default:
            // A verb the control does not know: negative ones are refused, positive ones
            // (the container's own numbering of the registered verbs) are the primary verb.
            if (verb < 0) return E_NOTIMPL;
            return InPlaceActivate(false, parent, position);
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
        RETURN_HR_IF(E_UNEXPECTED, !clientSite_);
        ComPtr<IOleInPlaceSite> site;
        RETURN_IF_FAILED(clientSite_.As(&site));
        RETURN_HR_IF(E_FAIL, site->CanInPlaceActivate() != S_OK);
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

        const HRESULT created = CreateWindowOf({L"UserControl"}, WS_EX_CONTROLPARENT, L"",
                                               WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent);
        if (FAILED(created)) {
            InPlaceDeactivate();
            return created;
        }
        OnCreate();
        ::SetWindowPos(Hwnd(), nullptr, where.left, where.top, where.right - where.left, where.bottom - where.top,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else if (position) {
        SetObjectRects(position, position);
    }
    if (Hwnd()) ::ShowWindow(Hwnd(), SW_SHOW);
    if (uiActivate) {
        UIActivate();
        if (Hwnd() && !IsOwnWindow(::GetFocus())) ::SetFocus(Hwnd());
    }
    return S_OK;
}

// The control becomes the container's active object: it needs no tool space of the
// frame or the document window, and asks its site to show it.
void ActiveXControl::UIActivate() {
    if (uiActive_ || !inPlaceActive_) return;
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    if (frame_) {
        frame_->SetActiveObject(this, L"UserControl");
        frame_->SetBorderSpace(nullptr);
    }
    if (uiWindow_) {
        uiWindow_->SetActiveObject(this, L"UserControl");
        uiWindow_->SetBorderSpace(nullptr);
    }
    if (clientSite_) clientSite_->ShowObject();
    if (controlSite_) controlSite_->OnFocus(TRUE);
}

void ActiveXControl::OnFocusIn() {
    if (!uiActive_) {
        UIActivate();
        return;
    }
    // The container may have made another object active meanwhile (another pane).
    if (frame_) frame_->SetActiveObject(this, L"UserControl");
    if (uiWindow_) uiWindow_->SetActiveObject(this, L"UserControl");
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
    if (!Hwnd()) return;
    OnDestroy();
    Destroy();
}

STDMETHODIMP ActiveXControl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = Hwnd();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP ActiveXControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    if (Hwnd()) {
        ::SetWindowPos(Hwnd(), nullptr, position->left, position->top, position->right - position->left,
                       position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

bool ActiveXControl::IsOwnWindow(HWND hwnd) const {
    return hwnd && Hwnd() && (hwnd == Hwnd() || ::IsChild(Hwnd(), hwnd));
}

HWND ActiveXControl::OwnerWindow() const { return Hwnd() ? ::GetAncestor(Hwnd(), GA_ROOT) : nullptr; }

int ActiveXControl::ShowMessage(const std::wstring& text, const wchar_t* title, UINT style) {
    return Modal([&] { return ::MessageBoxW(OwnerWindow(), text.c_str(), title, style); });
}

// Keys pressed in the control stay in the control: Tab moves between its children
// (around, never out), plain keys go to the focused child, and only combinations with
// Ctrl or Alt are offered to the container, with F6, Shift+F6 and Esc, with which a
// keyboard user leaves the pane. In an edit box (a label being renamed) the control keeps
// those too, Ctrl+V and AltGr characters among them, and Esc, which ends the edit; only the
// menus' Alt+letter and the function keys go to the container.
STDMETHODIMP ActiveXControl::TranslateAccelerator(LPMSG message) {
    if (!message || message->message < WM_KEYFIRST || message->message > WM_KEYLAST) return S_FALSE;
    // A key's command may make the host let go of the control (its window closed).
    ComPtr<IUnknown> keep(static_cast<IOleObject*>(this));
    if (!Hwnd() || !IsOwnWindow(message->hwnd)) return S_FALSE;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    const bool keyDown = message->message == WM_KEYDOWN;
    const bool systemKey = message->message == WM_SYSKEYDOWN || message->message == WM_SYSKEYUP ||
                           message->message == WM_SYSCHAR;
    if (keyDown && message->wParam == VK_TAB && !ctrl && !alt) {
        if (HWND next = ::GetNextDlgTabItem(Hwnd(), ::GetFocus(), ::GetKeyState(VK_SHIFT) < 0)) ::SetFocus(next);
        return S_OK;
    }
    HWND focus = ::GetFocus();
    if (KeepsKey(*message)) {
        ::TranslateMessage(message);
        ::DispatchMessageW(message);
        return S_OK;
    }
    const bool inEdit = focus && IsOwnWindow(focus) && HasClass(focus, L"Edit");
    const bool functionKey = message->wParam >= VK_F1 && message->wParam <= VK_F24 &&
                             message->message != WM_CHAR && message->message != WM_SYSCHAR;
    const bool menuKey = alt && !ctrl && systemKey;
    const bool leaveKey = ((message->message == WM_KEYDOWN || message->message == WM_KEYUP) &&
                           (message->wParam == VK_F6 || message->wParam == VK_ESCAPE)) ||
                          (message->message == WM_CHAR && message->wParam == VK_ESCAPE);
    const bool offer = inEdit ? (functionKey || menuKey) : (ctrl || alt || systemKey || leaveKey);
    if (offer) {
        if (controlSite_) {
            const DWORD modifiers =
                (::GetKeyState(VK_SHIFT) < 0 ? kKeyShift : 0) | (ctrl ? kKeyControl : 0) | (alt ? kKeyAlt : 0);
            if (controlSite_->TranslateAccelerator(message, modifiers) == S_OK) return S_OK;
        }
        return S_FALSE;
    }
    if (keyDown && message->wParam == VK_RETURN && focus && IsOwnWindow(focus) && HasClass(focus, L"Button")) {
        ::SendMessageW(focus, BM_CLICK, 0, 0);
        return S_OK;
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
    if (Hwnd()) {
        // The container may have moved the origin itself: the control's place adds to it.
        // Nothing is drawn outside the place (erasing fills what the clip allows).
        const int saved = ::SaveDC(target);
        ::IntersectClipRect(target, area.left, area.top, area.right, area.bottom);
        ::OffsetViewportOrgEx(target, bounds->left, bounds->top, nullptr);
        ::SendMessageW(Hwnd(), WM_PRINT, reinterpret_cast<WPARAM>(target),
                       PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND | PRF_NONCLIENT);
        ::RestoreDC(target, saved);
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
    if (sink) viewSink_.CopyTo(sink);
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

// ---- IOleControl, IPersist, IQuickActivate, IProvideClassInfo2, connection points ----

// Return and Escape are the control's own (the trees end a label edit with them).
STDMETHODIMP ActiveXControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = CTRLINFO_EATS_RETURN | CTRLINFO_EATS_ESCAPE;
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

// Containers of older versions pass smaller structures: only what cbSize covers is read
// or written.
STDMETHODIMP ActiveXControl::QuickActivate(QACONTAINER* container, QACONTROL* control) {
    if (!container || !control) return E_POINTER;
    if (COVERS(container, pClientSite)) SetClientSite(container->pClientSite);
    if (COVERS(container, pAdviseSink) && container->pAdviseSink)
        SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    if (COVERS(control, dwMiscStatus)) control->dwMiscStatus = kMiscStatus;
    if (COVERS(control, dwViewStatus)) control->dwViewStatus = 0;
    if (COVERS(control, dwPropNotifyCookie)) control->dwPropNotifyCookie = 0;
    if (COVERS(control, dwPointerActivationPolicy)) control->dwPointerActivationPolicy = 0;
    if (COVERS(control, dwEventCookie)) {
        control->dwEventCookie = 0;
        if (COVERS(container, pUnkEventSink) && container->pUnkEventSink)
            events_.Advise(container->pUnkEventSink, &control->dwEventCookie);
    }
    return S_OK;
}

STDMETHODIMP ActiveXControl::GetClassInfo(ITypeInfo** info) {
    return com::ModuleTypeInfo(com::ThisModule(), clsid_, info);
}

STDMETHODIMP ActiveXControl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = events_.Iid();
    return S_OK;
}

STDMETHODIMP ActiveXControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ActiveXControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return com::FindConnectionPoint(this, events_, iid, point);
}

// ---- the window ----

LRESULT ActiveXControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A command may run a nested loop or a host call in which the host lets go of the
    // control: it stays whole until the message is done.
    ComPtr<IUnknown> keep(static_cast<IOleObject*>(this));
    // Focus arriving in any child makes the control the container's active object, so
    // that keys come through TranslateAccelerator.
    switch (message) {
        case WM_PARENTNOTIFY:
            if (LOWORD(wParam) == WM_LBUTTONDOWN || LOWORD(wParam) == WM_RBUTTONDOWN) OnFocusIn();
            break;
        case WM_MOUSEACTIVATE:
            OnFocusIn();
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_SETFOCUS || HIWORD(wParam) == EN_SETFOCUS) OnFocusIn();
            break;
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(NM_SETFOCUS)) OnFocusIn();
            break;
        case WM_SETFOCUS:
            if (HWND first = ::GetNextDlgTabItem(Hwnd(), nullptr, FALSE)) ::SetFocus(first);
            OnFocusIn();
            return 0;
        default:
            break;
    }
    bool handled = false;
    const LRESULT result = OnControlMessage(message, wParam, lParam, &handled);
    return handled ? result : Default(message, wParam, lParam);
}

}  // namespace cartulane
