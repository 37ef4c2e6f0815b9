#include "addin/Connect.h"

#include "addin/ExcelApp.h"
#include "addin/TaskPanes.h"
#include "runtime/Dispatch.h"

namespace cartulane::addin {

namespace {

constexpr UINT kRibbonString = 101;

// From 15.0 (2013) on every workbook has a window of its own, with its own ribbon and panes.
bool WindowPerWorkbook(IDispatch* application) {
    std::wstring version;
    if (!application || FAILED(dispatch::GetString(application, L"Version", &version))) return false;
    return _wtoi(version.c_str()) >= 15;
}

// The toggle's pressed state as the ribbon passes it: by value or by reference (never a
// reference to nothing).
HRESULT PressedArgument(const VARIANT& argument, VARIANT_BOOL* pressed) {
    if ((argument.vt & VT_BYREF) && !argument.byref) return DISP_E_TYPEMISMATCH;
    if (argument.vt == (VT_VARIANT | VT_BYREF) && (argument.pvarVal->vt & VT_BYREF) && !argument.pvarVal->byref)
        return DISP_E_TYPEMISMATCH;
    Variant converted;
    RETURN_IF_FAILED(::VariantChangeType(&converted, const_cast<VARIANT*>(&argument), 0, VT_BOOL));
    *pressed = converted.boolVal;
    return S_OK;
}

// The ribbon control: an object by value or by reference; Nothing is allowed.
HRESULT ControlArgument(const VARIANT& argument, ComPtr<IDispatch>* control) {
    const VARIANT* v = argument.vt == (VT_VARIANT | VT_BYREF) ? argument.pvarVal : &argument;
    if (!v || ((v->vt & VT_BYREF) && !v->byref)) return DISP_E_TYPEMISMATCH;
    switch (v->vt) {
        case VT_DISPATCH: *control = v->pdispVal; return S_OK;
        case VT_DISPATCH | VT_BYREF: *control = *v->ppdispVal; return S_OK;
        case VT_UNKNOWN:
            if (v->punkVal) return v->punkVal->QueryInterface(IID_PPV_ARGS(control->ReleaseAndGetAddressOf()));
            return S_OK;
        case VT_EMPTY: return S_OK;
        default: return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

const QITAB* Connect::Interfaces() {
    static const QITAB table[] = {
        QITABENT(Connect, _Connect),
        QITABENTMULTI(Connect, IDispatch, _Connect),
        QITABENT(Connect, IDTExtensibility2),
        QITABENT(Connect, IRibbonExtensibility),
        QITABENT(Connect, ICustomTaskPaneConsumer),
        {},
    };
    return table;
}

// The ribbon's callbacks are taken apart here rather than by the type library: the ribbon
// may pass the pressed state by value, which a by-reference parameter would refuse.
STDMETHODIMP Connect::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* badArgument) {
    return Boundary([&]() -> HRESULT {
        const auto idOf = [this](const wchar_t* text) {
            DISPID found = DISPID_UNKNOWN;
            LPOLESTR name = const_cast<LPOLESTR>(text);
            return SUCCEEDED(GetIDsOfNames(IID_NULL, &name, 1, 0, &found)) ? found : DISPID_UNKNOWN;
        };
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        const DISPID showTaskPane = idOf(L"ShowTaskPane"), onLoad = idOf(L"OnRibbonLoad"),
                     getPressed = idOf(L"GetPressed");
        if (id != showTaskPane && id != onLoad && id != getPressed) return DISP_E_MEMBERNOTFOUND;
        if (!params) return E_POINTER;
        if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (params->cArgs != (id == showTaskPane ? 2u : 1u)) return DISP_E_BADPARAMCOUNT;
        ComPtr<IDispatch> control;
        if (FAILED(ControlArgument(params->rgvarg[params->cArgs - 1], &control))) {
            if (badArgument) *badArgument = params->cArgs - 1;
            return DISP_E_TYPEMISMATCH;
        }
        if (result) ::VariantInit(result);
        HRESULT hr = S_OK;
        if (id == onLoad) {
            hr = OnRibbonLoad(control.Get());
        } else if (id == getPressed) {
            VARIANT_BOOL pressed = VARIANT_FALSE;
            hr = GetPressed(control.Get(), &pressed);
            if (SUCCEEDED(hr) && result) {
                result->vt = VT_BOOL;
                result->boolVal = pressed;
            }
        } else {
            VARIANT_BOOL pressed = VARIANT_FALSE;
            if (FAILED(PressedArgument(params->rgvarg[0], &pressed))) {
                if (badArgument) *badArgument = 0;
                return DISP_E_TYPEMISMATCH;
            }
            IDispatch* controlArgument = control.Get();
            hr = ShowTaskPane(&controlArgument, &pressed);
        }
        return FAILED(hr) ? FillExcepInfo(exception, hr, L"Brevant", TakeErrorDescription()) : hr;
    });
}

// The pane, or from 15.0 on the panes of every window: to the user the pane is one
// feature of the application, not of one workbook.
STDMETHODIMP Connect::ShowTaskPane(IDispatch** control, VARIANT_BOOL* pressed) {
    if (!pressed) return E_POINTER;
    return ShowPanes(control ? *control : nullptr, *pressed != VARIANT_FALSE);
}

// The ribbon, kept until the application disconnects: when the panes are shown or hidden,
// the toggle of every window is asked again.
STDMETHODIMP Connect::OnRibbonLoad(IDispatch* ribbon) {
    AddIn().RibbonUI = ribbon;
    return S_OK;
}

STDMETHODIMP Connect::GetPressed(IDispatch* control, VARIANT_BOOL* pressed) {
    if (!pressed) return E_POINTER;
    *pressed = ToggleDown(control) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Connect::OnConnection(IDispatch* Application, ext_ConnectMode, IDispatch*, SAFEARRAY**) {
    AddInValues& values = AddIn();
    return Boundary([&]() -> HRESULT {
        values.HostApp = Application;
        values.PanePerWindow = WindowPerWorkbook(Application);
        values.PanesShown = true;
        ComPtr<ExcelApp> relay = com::Make<ExcelApp>();
        RETURN_IF_NULL_ALLOC(relay);
        values.AppEventSink = relay.Get();
        IDispatch* application = values.HostApp.Get();
        return relay->Attech(&application);
    });
}

// The application is going away when it disconnects at shutdown: the pane and the
// control are let go now, not when the library is unloaded (which may come after the
// control's library is gone).
STDMETHODIMP Connect::OnDisconnection(ext_DisconnectMode RemoveMode, SAFEARRAY**) {
    AddInValues& values = AddIn();
    values.RibbonUI.Reset();
    values.HostApp.Reset();
    values.AppEventSink.Reset();  // ends the subscription
    if (RemoveMode == ext_dm_HostShutdown) values.ReleasePanes();
    // Unticked in the COM add-ins dialog: its panes go with it (ticked again, it makes one).
    if (RemoveMode == ext_dm_UserClosed) DeletePanes();
    return S_OK;
}

STDMETHODIMP Connect::OnAddInsUpdate(SAFEARRAY**) { return S_OK; }
STDMETHODIMP Connect::OnStartupComplete(SAFEARRAY**) { return S_OK; }

STDMETHODIMP Connect::OnBeginShutdown(SAFEARRAY**) {
    AddIn().ReleasePanes();
    return S_OK;
}

STDMETHODIMP Connect::GetCustomUI(BSTR, BSTR* RibbonXml) {
    if (!RibbonXml) return E_POINTER;
    *RibbonXml = nullptr;
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(com::ThisModule(), kRibbonString, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    *RibbonXml = ::SysAllocStringLen(text, static_cast<UINT>(length));
    return *RibbonXml ? S_OK : E_OUTOFMEMORY;
}

// Creates the pane with the control, docked left, in the window active now, and hands the
// control the application. Each value stays set once its step has run, whatever fails
// after it. The factory is kept for the panes of the windows to come and for a pane that
// could not be made now (the application not visible yet, or in Protected View).
STDMETHODIMP Connect::CTPFactoryAvailable(ICTPFactory* CTPFactoryInst) {
    if (!CTPFactoryInst) return E_POINTER;
    AddIn().PaneFactory = CTPFactoryInst;
    if (!ApplicationVisible()) return S_OK;  // started by another program: no pane until it is shown
    return MakePane(CTPFactoryInst, nullptr, true);
}

}  // namespace cartulane::addin
