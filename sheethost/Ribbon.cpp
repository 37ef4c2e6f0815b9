#include "sheethost/Ribbon.h"

#include "runtime/Dispatch.h"
#include "runtime/Form.h"
#include "sheethost/Automation.h"

#include <commctrl.h>

#include <algorithm>

namespace cartulane::sheethost {

namespace {

constexpr wchar_t kNamespace2007[] = L"http://schemas.microsoft.com/office/2006/01/customui";
constexpr wchar_t kNamespace2010[] = L"http://schemas.microsoft.com/office/2009/07/customui";
constexpr int kFirstControlId = 1000;

// The control a callback is about, as the ribbon hands it to the add-in.
class RibbonControl final : public Automation<RibbonControl, IRibbonControl> {
public:
    RibbonControl(std::wstring id, std::wstring tag, ComPtr<IDispatch> context)
        : id_(std::move(id)), tag_(std::move(tag)), context_(std::move(context)) {}

    STDMETHODIMP get_Id(BSTR* id) override { return Copy(id_, id); }
    // The window whose ribbon it is (Nothing in a window without a workbook).
    STDMETHODIMP get_Context(IDispatch** context) override {
        if (!context) return E_POINTER;
        return context_.CopyTo(context);
    }
    STDMETHODIMP get_Tag(BSTR* tag) override { return Copy(tag_, tag); }

protected:
    std::span<const Member> Members() const override {
        static const Member members[] = {{L"Id", office::ribbonControl::Id},
                                         {L"Context", office::ribbonControl::Context},
                                         {L"Tag", office::ribbonControl::Tag}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const CallArgs&, VARIANT* result, std::wstring*) override {
        switch (id) {
            case office::ribbonControl::Id: return ReturnString(result, id_);
            case office::ribbonControl::Context: return ReturnObject(result, context_.Get());
            case office::ribbonControl::Tag: return ReturnString(result, tag_);
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    static HRESULT Copy(const std::wstring& text, BSTR* out) {
        if (!out) return E_POINTER;
        *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    std::wstring id_, tag_;
    ComPtr<IDispatch> context_;
};

// IRibbonUI: Invalidate (1) and InvalidateControl (2) by name.
class RibbonUI final : public Automation<RibbonUI> {
public:
    explicit RibbonUI(std::function<void(const std::wstring&)> invalidate) : invalidate_(std::move(invalidate)) {}
    void Detach() { invalidate_ = nullptr; }

protected:
    std::span<const Member> Members() const override {
        static const Member members[] = {{L"Invalidate", 1}, {L"InvalidateControl", 2}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const CallArgs& args, VARIANT*, std::wstring*) override {
        std::wstring control;
        if (id == 2) RETURN_IF_FAILED(StringArg(args, 0, &control));
        if (invalidate_) invalidate_(control);
        return S_OK;
    }

private:
    std::function<void(const std::wstring&)> invalidate_;
};

constexpr UINT kInvalidated = WM_APP + 7;

// An attribute of an XML element, "" when it is absent.
HRESULT Attribute(IDispatch* element, const wchar_t* name, std::wstring* value) {
    Variant result;
    RETURN_IF_FAILED(dispatch::Call(element, L"getAttribute", {Variant(name)}, &result));
    value->clear();
    return result.vt == VT_NULL ? S_OK : result.ToString(value);
}

HRESULT SelectEach(IDispatch* node, const wchar_t* path, const std::function<HRESULT(IDispatch*)>& visit) {
    ComPtr<IDispatch> nodes;
    RETURN_IF_FAILED(dispatch::GetDispatch(node, L"selectNodes", &nodes, {Variant(path)}));
    return dispatch::ForEach(nodes.Get(), [&](const Variant& item) -> HRESULT {
        ComPtr<IDispatch> element;
        RETURN_IF_FAILED(item.ToDispatch(&element));
        return visit(element.Get());
    });
}

}  // namespace

Ribbon::~Ribbon() {
    Clear();
    Destroy();
}

HRESULT Ribbon::Create(HWND parent) {
    RETURN_IF_FAILED(CreateWindowOf({L"SheetHostRibbon"}, WS_EX_CONTROLPARENT, L"Ribbon",
                                    WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent));
    dpi_ = ScreenDpi().y;
    font_ = CreateFormFont();
    tabStrip_ = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 4000,
                                  Scale(24), Hwnd(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    RETURN_LAST_ERROR_IF_NULL(tabStrip_);
    ::SendMessageW(tabStrip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return S_OK;
}

int Ribbon::Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }

int Ribbon::Height() const { return tabs_.empty() ? 0 : Scale(24 + 96); }

ComPtr<IDispatch> MakeRibbonUI(std::function<void(const std::wstring& id)> invalidate) {
    return com::Make<RibbonUI>(std::move(invalidate));
}

void DetachRibbonUI(IDispatch* ribbonUI) {
    if (ribbonUI) static_cast<RibbonUI*>(ribbonUI)->Detach();
}

HRESULT Ribbon::AddCustomUI(const std::wstring& xml, IRibbonExtensibility* addIn, std::wstring* onLoad) {
    if (!addIn || !Hwnd()) return E_POINTER;
    CLSID clsid;
    RETURN_IF_FAILED(::CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid));
    ComPtr<IDispatch> document;
    RETURN_IF_FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&document)));
    RETURN_IF_FAILED(dispatch::Put(document.Get(), L"async", Variant(false)));
    Variant loaded;
    RETURN_IF_FAILED(dispatch::Call(document.Get(), L"loadXML", {Variant(xml)}, &loaded));
    bool ok = false;
    RETURN_IF_FAILED(loaded.ToBool(&ok));
    if (!ok) {
        ComPtr<IDispatch> error;
        std::wstring reason;
        if (SUCCEEDED(dispatch::GetDispatch(document.Get(), L"parseError", &error)))
            dispatch::GetString(error.Get(), L"reason", &reason);
        return SetErrorDescription(E_INVALIDARG, L"The custom UI is not well-formed XML: " + reason);
    }
    ComPtr<IDispatch> root;
    std::wstring space, name;
    RETURN_IF_FAILED(dispatch::GetDispatch(document.Get(), L"documentElement", &root));
    RETURN_IF_FAILED(dispatch::GetString(root.Get(), L"namespaceURI", &space));
    RETURN_IF_FAILED(dispatch::GetString(root.Get(), L"baseName", &name));
    if (name != L"customUI" || (space != kNamespace2007 && space != kNamespace2010))
        return SetErrorDescription(E_INVALIDARG, L"The custom UI is not a customUI element of the ribbon's namespace.");
    RETURN_IF_FAILED(dispatch::Call(document.Get(), L"setProperty",
                                    {Variant(L"SelectionNamespaces"), Variant(L"xmlns:c='" + space + L"'")}));
    if (onLoad) RETURN_IF_FAILED(Attribute(root.Get(), L"onLoad", onLoad));
    RETURN_IF_FAILED(SelectEach(document.Get(), L"/c:customUI/c:ribbon/c:tabs/c:tab",
                                [&](IDispatch* tab) { return AddTab(tab, addIn); }));
    ShowTab(TabCtrl_GetCurSel(tabStrip_));
    return S_OK;
}

// A tab of groups side by side: each group's buttons, its caption under them.
HRESULT Ribbon::AddTab(IDispatch* tabElement, IRibbonExtensibility* addIn) {
    Tab tab;
    RETURN_IF_FAILED(Attribute(tabElement, L"id", &tab.id));
    RETURN_IF_FAILED(Attribute(tabElement, L"label", &tab.label));
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const int top = Scale(28), buttonsHeight = Scale(66), captionHeight = Scale(20);
    int left = Scale(6);
    RETURN_IF_FAILED(SelectEach(tabElement, L"c:group", [&](IDispatch* group) -> HRESULT {
        std::wstring caption;
        RETURN_IF_FAILED(Attribute(group, L"label", &caption));
        const int groupLeft = left;
        int x = groupLeft;
        RETURN_IF_FAILED(SelectEach(group, L"c:toggleButton", [&](IDispatch* button) -> HRESULT {
            Control control;
            std::wstring label, size;
            RETURN_IF_FAILED(Attribute(button, L"id", &control.id));
            RETURN_IF_FAILED(Attribute(button, L"tag", &control.tag));
            RETURN_IF_FAILED(Attribute(button, L"onAction", &control.onAction));
            RETURN_IF_FAILED(Attribute(button, L"getPressed", &control.getPressed));
            RETURN_IF_FAILED(Attribute(button, L"label", &label));
            RETURN_IF_FAILED(Attribute(button, L"size", &size));
            const bool large = size == L"large";
            const int width = large ? Scale(80) : Scale(110), height = large ? buttonsHeight : Scale(24);
            control.hwnd = ::CreateWindowExW(
                0, L"Button", label.c_str(), WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE | BS_MULTILINE, x,
                top, width, height, Hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + controls_.size())),
                instance, nullptr);
            RETURN_LAST_ERROR_IF_NULL(control.hwnd);
            ::SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
            control.addIn = addIn;
            tab.windows.push_back(control.hwnd);
            AskPressed(control);
            controls_.push_back(std::move(control));
            x += width + Scale(4);
            return S_OK;
        }));
        // The caption sets the group's width when it is wider than the buttons.
        WindowDC dc(Hwnd());
        SelectGuard selected(dc.get(), font_.get());
        SIZE extent{};
        ::GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &extent);
        const int width = std::max<int>(x - groupLeft, extent.cx + Scale(12));
        HWND label = ::CreateWindowExW(0, L"Static", caption.c_str(), WS_CHILD | SS_CENTER | SS_NOPREFIX, groupLeft,
                                       top + buttonsHeight + Scale(2), width, captionHeight, Hwnd(), nullptr, instance,
                                       nullptr);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        tab.windows.push_back(label);
        HWND separator = ::CreateWindowExW(0, L"Static", L"", WS_CHILD | SS_ETCHEDVERT, groupLeft + width + Scale(4),
                                           top, 2, buttonsHeight + captionHeight, Hwnd(), nullptr, instance, nullptr);
        tab.windows.push_back(separator);
        left = groupLeft + width + Scale(10);
        return S_OK;
    }));
    TCITEMW item{TCIF_TEXT};
    item.pszText = tab.label.data();
    TabCtrl_InsertItem(tabStrip_, static_cast<int>(tabs_.size()), &item);
    tabs_.push_back(std::move(tab));
    return S_OK;
}

void Ribbon::ShowTab(int index) {
    if (index < 0 && !tabs_.empty()) {
        index = 0;
        TabCtrl_SetCurSel(tabStrip_, 0);
    }
    for (size_t i = 0; i < tabs_.size(); ++i) {
        for (HWND window : tabs_[i].windows) ::ShowWindow(window, static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
    }
}

void Ribbon::Clear() {
    for (const Tab& tab : tabs_) {
        for (HWND window : tab.windows) ::DestroyWindow(window);
    }
    tabs_.clear();
    controls_.clear();
    if (tabStrip_) TabCtrl_DeleteAllItems(tabStrip_);
}

HWND Ribbon::Button(const std::wstring& id) const {
    for (const Control& control : controls_) {
        if (control.id == id) return control.hwnd;
    }
    return nullptr;
}

bool Ribbon::Pressed(const std::wstring& id) const {
    HWND button = Button(id);
    return button && ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The add-in's callback, found by name on the very interface the ribbon came from.
void Ribbon::OnAction(const Control& control) {
    if (control.onAction.empty()) return;
    IDispatch* addIn = control.addIn.Get();
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(control.onAction.c_str());
    lastCallbackResult = addIn->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(lastCallbackResult)) return;
    VARIANT_BOOL pressed = Pressed(control.id) ? VARIANT_TRUE : VARIANT_FALSE;
    ComPtr<IDispatch> ribbonControl = com::Make<RibbonControl>(control.id, control.tag, Context ? Context() : nullptr);
    Variant args[2];
    args[1] = Variant(ribbonControl.Get());
    if (passPressedByReference) {
        args[0].vt = VT_BOOL | VT_BYREF;
        args[0].pboolVal = &pressed;
    } else {
        args[0] = Variant(pressed != VARIANT_FALSE);
    }
    DISPPARAMS params{args, nullptr, 2, 0};
    Variant result;
    ExcepInfo exception;
    UINT badArgument = 0;
    lastCallbackResult = addIn->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                                       &exception, &badArgument);
    if (passPressedByReference) args[0].vt = VT_EMPTY;  // points at a local, nothing to free
}

// getPressed: called by name with the ribbon control, the state coming back as the result.
void Ribbon::AskPressed(const Control& control) {
    if (control.getPressed.empty() || !control.addIn) return;
    ComPtr<IDispatch> ribbonControl = com::Make<RibbonControl>(control.id, control.tag, Context ? Context() : nullptr);
    Variant result;
    lastCallbackResult =
        dispatch::Call(control.addIn.Get(), control.getPressed.c_str(), {Variant(ribbonControl.Get())}, &result);
    bool pressed = false;
    if (SUCCEEDED(lastCallbackResult) && SUCCEEDED(result.ToBool(&pressed)) && ::IsWindow(control.hwnd))
        ::SendMessageW(control.hwnd, BM_SETCHECK, pressed ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Ribbon::Invalidate(const std::wstring& id) {
    if (!Hwnd()) return;
    if (invalidated_.empty()) ::PostMessageW(Hwnd(), kInvalidated, 0, 0);
    invalidated_.push_back(id);
}

LRESULT Ribbon::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kInvalidated: {
            const std::vector<std::wstring> ids = std::move(invalidated_);
            invalidated_.clear();
            // A callback may clear the ribbon: the controls are copied first.
            const std::vector<Control> controls = controls_;
            for (const Control& control : controls) {
                if (std::find(ids.begin(), ids.end(), control.id) != ids.end() ||
                    std::find(ids.begin(), ids.end(), L"") != ids.end())
                    AskPressed(control);
            }
            return 0;
        }
        case WM_COMMAND: {
            const size_t index = LOWORD(wParam) - kFirstControlId;
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) >= kFirstControlId && index < controls_.size()) {
                const Control control = controls_[index];  // the callback may clear the ribbon
                OnAction(control);
            }
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == tabStrip_ && header->code == TCN_SELCHANGE) ShowTab(TabCtrl_GetCurSel(tabStrip_));
            return 0;
        }
        case WM_SIZE:
            if (tabStrip_) ::MoveWindow(tabStrip_, 0, 0, LOWORD(lParam), Scale(24) + 2, TRUE);
            return 0;
        default:
            return Default(message, wParam, lParam);
    }
}

// The tabs' windows went with it; the add-ins' callbacks are let go with them.
void Ribbon::OnDestroyed() {
    tabs_.clear();
    controls_.clear();
    tabStrip_ = nullptr;
}

}  // namespace cartulane::sheethost
