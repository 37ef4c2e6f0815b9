#include "sheethost/TaskPane.h"

#include "runtime/Handles.h"
#include "sheethost/Automation.h"
#include "sheethost/HostWindow.h"
#include "sheethost/MainWindow.h"

#include <olectl.h>
#include <windowsx.h>

namespace cartulane::sheethost {

namespace {

int LogicalInch(HWND hwnd) {
    WindowDC dc(hwnd);
    return ::GetDeviceCaps(dc.get(), LOGPIXELSY);
}

}  // namespace

// The control's site: client site, in-place site, control site, and the ambient
// properties through IDispatch.
class TaskPane::Site final
    : public com::ComObject<Site, IOleClientSite, IOleInPlaceSite, IOleControlSite, IDispatch> {
public:
    explicit Site(TaskPane* pane) : pane_(pane) {}
    void Detach() { pane_ = nullptr; }

    static const QITAB* Interfaces() {
        static const QITAB table[] = {
            QITABENT(Site, IOleClientSite),
            QITABENT(Site, IOleInPlaceSite),
            QITABENTMULTI(Site, IOleWindow, IOleInPlaceSite),
            QITABENT(Site, IOleControlSite),
            QITABENT(Site, IDispatch),
            {},
        };
        return table;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override {
        if (pane_) pane_->window_.Host().NoteContainerCall(L"Site.ShowObject");
        return S_OK;
    }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = pane_ ? pane_->Hwnd() : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return pane_ ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT position) override {
        ComPtr<IOleInPlaceObject> object;
        if (pane_ && pane_->control_ && SUCCEEDED(pane_->control_.As(&object)))
            object->SetObjectRects(position, position);
        return S_OK;
    }

    // IOleControlSite: keys the control does not take are offered to the host's own keys.
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** control) override {
        if (control) *control = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG* message, DWORD) override {
        return pane_ && message && pane_->window_.Host().HostAccelerator(*message) ? S_OK : S_FALSE;
    }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IDispatch: the ambient properties.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    TaskPane* pane_;
};

STDMETHODIMP TaskPane::Site::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                              LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !document || !position || !clip || !pane_) return E_POINTER;
    *frame = nullptr;
    *document = nullptr;
    pane_->window_.GetFrame(frame);
    *position = *clip = pane_->ContentRect();
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = pane_->window_.Hwnd();
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP TaskPane::Site::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                    UINT*) {
    if (!result) return E_POINTER;
    ::VariantInit(result);
    switch (id) {
        case DISPID_AMBIENT_USERMODE:
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
            return S_OK;
        case DISPID_AMBIENT_UIDEAD:
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_SHOWHATCHING:
        case DISPID_AMBIENT_DISPLAYASDEFAULT:
        case DISPID_AMBIENT_MESSAGEREFLECT:
        case DISPID_AMBIENT_SUPPORTSMNEMONICS:
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_FALSE;
            return S_OK;
        case DISPID_AMBIENT_BACKCOLOR:
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(0x80000000 | COLOR_BTNFACE);
            return S_OK;
        case DISPID_AMBIENT_FORECOLOR:
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(0x80000000 | COLOR_BTNTEXT);
            return S_OK;
        case DISPID_AMBIENT_LOCALEID:
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(::GetUserDefaultLCID());
            return S_OK;
        case DISPID_AMBIENT_DISPLAYNAME:
            if (!pane_) break;
            result->vt = VT_BSTR;
            result->bstrVal = ::SysAllocString(pane_->title_.c_str());
            return S_OK;
        default:
            break;
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- TaskPane ----

// ---- the pane in the object model ----

class TaskPane::Object final : public Automation<Object, _CustomTaskPane> {
public:
    Object(TaskPane* pane, Application* app) : pane_(pane), app_(app) {}
    void Detach() { pane_ = nullptr; }

    STDMETHODIMP get_Title(BSTR* title) override {
        if (!title) return E_POINTER;
        RETURN_IF_FAILED(Alive());
        *title = ::SysAllocString(pane_->title_.c_str());
        return *title ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_Application(IDispatch** application) override {
        if (!application) return E_POINTER;
        RETURN_IF_FAILED(Alive());
        *application = app_.Get();
        (*application)->AddRef();
        return S_OK;
    }
    // The window the pane belongs to; Nothing in a window without a workbook.
    STDMETHODIMP get_Window(IDispatch** window) override {
        if (!window) return E_POINTER;
        *window = nullptr;
        RETURN_IF_FAILED(Alive());
        return pane_->window_.WindowObject().CopyTo(window);
    }
    STDMETHODIMP get_Visible(VARIANT_BOOL* visible) override {
        return Read(visible, [this] { return pane_->visible_ ? VARIANT_TRUE : VARIANT_FALSE; });
    }
    STDMETHODIMP put_Visible(VARIANT_BOOL visible) override {
        RETURN_IF_FAILED(Alive());
        pane_->SetVisible(visible != VARIANT_FALSE);
        return S_OK;
    }
    STDMETHODIMP get_ContentControl(IDispatch** control) override {
        if (!control) return E_POINTER;
        RETURN_IF_FAILED(Alive());
        *control = pane_->dispatch_.Get();
        if (*control) (*control)->AddRef();
        return S_OK;
    }
    STDMETHODIMP get_Height(int* height) override {
        return Read(height, [this] {
            RECT bounds{};
            ::GetWindowRect(pane_->Hwnd(), &bounds);
            return ::MulDiv(bounds.bottom - bounds.top, 72, LogicalInch(pane_->Hwnd()));
        });
    }
    STDMETHODIMP put_Height(int) override {
        RETURN_IF_FAILED(Alive());
        return SetErrorDescription(E_INVALIDARG, L"The height of a pane docked at the left or right is the window's.");
    }
    STDMETHODIMP get_Width(int* width) override {
        return Read(width, [this] { return pane_->widthPoints_; });
    }
    STDMETHODIMP put_Width(int width) override {
        RETURN_IF_FAILED(Alive());
        if (width <= 0) return SetErrorDescription(E_INVALIDARG, L"The width of a pane must be positive.");
        pane_->SetWidth(width);
        return S_OK;
    }
    STDMETHODIMP get_DockPosition(MsoCTPDockPosition* dock) override {
        return Read(dock, [this] { return pane_->dock_; });
    }
    STDMETHODIMP put_DockPosition(MsoCTPDockPosition dock) override {
        RETURN_IF_FAILED(Alive());
        if (dock != msoCTPDockPositionLeft && dock != msoCTPDockPositionRight)
            return SetErrorDescription(E_NOTIMPL, L"sheethost docks task panes at the left or the right.");
        pane_->SetDockPosition(dock);
        return S_OK;
    }
    STDMETHODIMP get_DockPositionRestrict(MsoCTPDockPositionRestrict* restrict) override {
        return Read(restrict, [this] { return restrict_; });
    }
    STDMETHODIMP put_DockPositionRestrict(MsoCTPDockPositionRestrict restrict) override {
        RETURN_IF_FAILED(Alive());
        restrict_ = restrict;
        return S_OK;
    }
    STDMETHODIMP Delete() override {
        RETURN_IF_FAILED(Alive());
        pane_->window_.RemovePane(pane_);  // detaches this object
        return S_OK;
    }

protected:
    std::span<const Member> Members() const override {
        namespace member = office::taskPane;
        static const Member members[] = {
            {L"Title", member::Title},
            {L"Application", member::Application},
            {L"Window", member::Window},
            {L"Visible", member::Visible},
            {L"ContentControl", member::ContentControl},
            {L"Height", member::Height},
            {L"Width", member::Width},
            {L"DockPosition", member::DockPosition},
            {L"DockPositionRestrict", member::DockPositionRestrict},
            {L"Delete", member::Delete},
        };
        return members;
    }
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) override {
        const HRESULT hr = CallMember(id, flags, args, result);
        if (FAILED(hr)) *error = TakeErrorDescription();
        return hr;
    }

private:
    HRESULT Alive() const {
        if (pane_) return S_OK;
        app_->NoteCallOnDeletedPane();
        return SetErrorDescription(E_FAIL, L"The taskpane has been deleted or is otherwise no longer valid.");
    }

    // A property read: the value is taken only while the pane is there.
    template <typename T, typename Value>
    HRESULT Read(T* out, Value value) const {
        if (!out) return E_POINTER;
        RETURN_IF_FAILED(Alive());
        *out = value();
        return S_OK;
    }

    HRESULT CallMember(DISPID id, WORD flags, const CallArgs& args, VARIANT* result) {
        namespace member = office::taskPane;
        const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        long number = 0;
        bool flag = false;
        if (put) {
            if (!args.PutValue()) return DISP_E_PARAMNOTFOUND;
            Variant value;
            RETURN_IF_FAILED(::VariantCopy(&value, const_cast<VARIANT*>(args.PutValue())));
            if (id == member::Visible) RETURN_IF_FAILED(value.ToBool(&flag));
            else RETURN_IF_FAILED(value.ToInt(&number));
        }
        Bstr text;
        VARIANT_BOOL visible = VARIANT_FALSE;
        switch (id) {
            case member::Title:
                RETURN_IF_FAILED(get_Title(text.put()));
                return ReturnString(result, text.str());
            case member::Application: return ObjectProperty(&Object::get_Application, result);
            case member::Window: return ObjectProperty(&Object::get_Window, result);
            case member::Visible:
                if (put) return put_Visible(flag ? VARIANT_TRUE : VARIANT_FALSE);
                RETURN_IF_FAILED(get_Visible(&visible));
                return ReturnBool(result, visible != VARIANT_FALSE);
            case member::ContentControl: return ObjectProperty(&Object::get_ContentControl, result);
            case member::Height: return NumberProperty(put, number, &Object::get_Height, &Object::put_Height, result);
            case member::Width: return NumberProperty(put, number, &Object::get_Width, &Object::put_Width, result);
            case member::DockPosition:
                return NumberProperty(put, number, &Object::get_DockPosition, &Object::put_DockPosition, result);
            case member::DockPositionRestrict:
                return NumberProperty(put, number, &Object::get_DockPositionRestrict,
                                      &Object::put_DockPositionRestrict, result);
            case member::Delete: return Delete();
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

    HRESULT ObjectProperty(HRESULT (STDMETHODCALLTYPE Object::*get)(IDispatch**), VARIANT* result) {
        ComPtr<IDispatch> object;
        RETURN_IF_FAILED((this->*get)(&object));
        return ReturnObject(result, object.Get());
    }

    // A whole-number property (sizes and enumerations): a put takes the number given.
    template <typename T>
    HRESULT NumberProperty(bool put, long number, HRESULT (STDMETHODCALLTYPE Object::*get)(T*),
                           HRESULT (STDMETHODCALLTYPE Object::*set)(T), VARIANT* result) {
        if (put) return (this->*set)(static_cast<T>(number));
        T value{};
        RETURN_IF_FAILED((this->*get)(&value));
        return ReturnLong(result, static_cast<long>(value));
    }

    TaskPane* pane_;
    ComPtr<Application> app_;
    MsoCTPDockPositionRestrict restrict_ = msoCTPDockPositionRestrictNone;
};

HRESULT TaskPane::PaneObject(_CustomTaskPane** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!object_) object_ = com::Make<Object>(this, &window_.Host().App());
    RETURN_IF_NULL_ALLOC(object_);
    return object_->QueryInterface(IID_PPV_ARGS(object));
}

// ---- TaskPane ----

TaskPane::TaskPane(MainWindow& window, std::wstring title, int widthPoints, bool visible)
    : window_(window), title_(std::move(title)), widthPoints_(widthPoints), visible_(visible) {}

TaskPane::~TaskPane() {
    if (object_) object_->Detach();
    object_.Reset();
    if (control_) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(control_.As(&inPlace))) inPlace->InPlaceDeactivate();
        control_->Close(OLECLOSE_NOSAVE);
        control_->SetClientSite(nullptr);
    }
    dispatch_.Reset();
    control_.Reset();
    if (site_) site_->Detach();
    site_.Reset();
    Destroy();
}

HRESULT TaskPane::Create(HWND parent, const std::wstring& control) {
    RETURN_IF_FAILED(CreateWindowOf({L"SheetHostTaskPane"}, WS_EX_CONTROLPARENT, title_.c_str(),
                                    WS_CHILD | (visible_ ? WS_VISIBLE : 0) | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                                    WidthPixels(), 100, parent));
    site_ = com::Make<Site>(this);
    RETURN_IF_NULL_ALLOC(site_);
    return SiteControl(control);
}

// Creates the control and sites it: through IQuickActivate when it has it, otherwise
// with the client site set before or after its initialisation as its misc status asks.
HRESULT TaskPane::SiteControl(const std::wstring& control) {
    CLSID clsid;
    RETURN_IF_FAILED(control.starts_with(L"{") ? ::CLSIDFromString(control.c_str(), &clsid)
                                               : ::CLSIDFromProgID(control.c_str(), &clsid));
    ComPtr<IOleObject> object;
    RETURN_IF_FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
    auto* clientSite = static_cast<IOleClientSite*>(site_.Get());
    ComPtr<IQuickActivate> quick;
    ComPtr<IPersistStreamInit> persist;
    object.As(&persist);
    if (SUCCEEDED(object.As(&quick))) {
        QACONTAINER container{sizeof(container)};
        container.pClientSite = clientSite;
        container.dwAmbientFlags = QACONTAINER_USERMODE | QACONTAINER_MESSAGEREFLECT;
        container.colorFore = static_cast<OLE_COLOR>(0x80000000 | COLOR_BTNTEXT);
        container.colorBack = static_cast<OLE_COLOR>(0x80000000 | COLOR_BTNFACE);
        container.lcid = ::GetUserDefaultLCID();
        QACONTROL answer{sizeof(answer)};
        RETURN_IF_FAILED(quick->QuickActivate(&container, &answer));
        if (persist) RETURN_IF_FAILED(persist->InitNew());
    } else {
        DWORD misc = 0;
        object->GetMiscStatus(DVASPECT_CONTENT, &misc);
        if (misc & OLEMISC_SETCLIENTSITEFIRST) RETURN_IF_FAILED(object->SetClientSite(clientSite));
        if (persist) RETURN_IF_FAILED(persist->InitNew());
        if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) RETURN_IF_FAILED(object->SetClientSite(clientSite));
    }
    control_ = object;
    object.As(&dispatch_);

    RECT content = ContentRect();
    WindowDC dc(Hwnd());
    SIZEL extent{::MulDiv(content.right - content.left, 2540, ::GetDeviceCaps(dc.get(), LOGPIXELSX)),
                 ::MulDiv(content.bottom - content.top, 2540, ::GetDeviceCaps(dc.get(), LOGPIXELSY))};
    control_->SetExtent(DVASPECT_CONTENT, &extent);
    return control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, Hwnd(), &content);
}

void TaskPane::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (Hwnd()) ::ShowWindow(Hwnd(), visible ? SW_SHOW : SW_HIDE);
    window_.Layout();
    if (VisibleStateChange) VisibleStateChange(*this);
}

void TaskPane::SetWidth(int points) {
    widthPoints_ = points;
    window_.Layout();
}

void TaskPane::SetDockPosition(MsoCTPDockPosition dock) {
    dock_ = dock;
    window_.Layout();
}

int TaskPane::WidthPixels() const { return ::MulDiv(widthPoints_, LogicalInch(Hwnd()), 72); }

int TaskPane::TitleHeight() const { return ::MulDiv(24, LogicalInch(Hwnd()), 96); }

RECT TaskPane::ContentRect() const {
    RECT client{};
    if (Hwnd()) ::GetClientRect(Hwnd(), &client);
    client.top = std::min<LONG>(TitleHeight(), client.bottom);
    client.left += 2;
    client.right = std::max(client.left, client.right - 2);
    return client;
}

RECT TaskPane::CloseBox() const {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int size = TitleHeight();
    return {client.right - size, 0, client.right, size};
}

void TaskPane::Paint() {
    PaintGuard paint(Hwnd());
    HDC dc = paint.get();
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    RECT title{0, 0, client.right, TitleHeight()};
    UniqueBrush band(::CreateSolidBrush(RGB(0xE8, 0xEE, 0xF6)));
    ::FillRect(dc, &title, band.get());
    NONCLIENTMETRICSW metrics{sizeof(metrics)};
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    UniqueFont font(::CreateFontIndirectW(&metrics.lfCaptionFont));
    SelectGuard selected(dc, font.get());
    ::SetBkMode(dc, TRANSPARENT);
    RECT text = title;
    text.left += 6;
    text.right = CloseBox().left;
    ::DrawTextW(dc, title_.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    RECT close = CloseBox();
    ::DrawTextW(dc, L"\u00D7", -1, &close, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

LRESULT TaskPane::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_SIZE: {
            ComPtr<IOleInPlaceObject> object;
            if (control_ && SUCCEEDED(control_.As(&object))) {
                const RECT content = ContentRect();
                object->SetObjectRects(&content, &content);
            }
            ::InvalidateRect(Hwnd(), nullptr, TRUE);
            return 0;
        }
        case WM_LBUTTONDOWN: {
            const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            const RECT close = CloseBox();
            if (::PtInRect(&close, at)) SetVisible(false);  // the close box hides the pane
            return 0;
        }
        default:
            return Default(message, wParam, lParam);
    }
}

}  // namespace cartulane::sheethost
