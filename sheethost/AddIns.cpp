#include "sheethost/AddIns.h"

#include <algorithm>

#include "runtime/Dispatch.h"
#include "runtime/Handles.h"
#include "sheethost/Automation.h"
#include "sheethost/HostWindow.h"

namespace cartulane::sheethost {

namespace {

// The width of a new pane until the add-in sets it, in points.
constexpr int kDefaultPaneWidth = 200;

// An empty SAFEARRAY of VARIANT: the custom argument of the add-in calls.
class CustomArray {
public:
    CustomArray() : array_(::SafeArrayCreateVector(VT_VARIANT, 0, 0)) {}
    ~CustomArray() { ::SafeArrayDestroy(array_); }
    CustomArray(const CustomArray&) = delete;
    CustomArray& operator=(const CustomArray&) = delete;
    SAFEARRAY** get() { return &array_; }

private:
    SAFEARRAY* array_;
};

std::wstring AddInKey(const std::wstring& progId) { return std::wstring(office::kAddInsKey) + L"\\" + progId; }

// The object a VARIANT argument holds, by value or by reference; nullptr for a missing
// argument or Nothing.
HRESULT ObjectArgument(const VARIANT& argument, IUnknown** object) {
    *object = nullptr;
    const VARIANT* v = argument.vt == (VT_VARIANT | VT_BYREF) ? argument.pvarVal : &argument;
    switch (v->vt) {
        case VT_EMPTY:
        case VT_NULL: return S_OK;
        case VT_ERROR: return v->scode == DISP_E_PARAMNOTFOUND ? S_OK : DISP_E_TYPEMISMATCH;
        case VT_DISPATCH: *object = v->pdispVal; break;
        case VT_UNKNOWN: *object = v->punkVal; break;
        case VT_DISPATCH | VT_BYREF: *object = *v->ppdispVal; break;
        case VT_UNKNOWN | VT_BYREF: *object = *v->ppunkVal; break;
        default: return DISP_E_TYPEMISMATCH;
    }
    if (*object) (*object)->AddRef();
    return S_OK;
}

}  // namespace

// The task-pane factory: panes hosting a control made by ProgID, in the window given as
// the parent or in the active one. Before 15.0 there is one window for all of them.
class AddIns::Factory final : public Automation<Factory, ICTPFactory> {
public:
    explicit Factory(HostWindow* host) : host_(host) {}
    void Detach() { host_ = nullptr; }

    // The pane starts hidden, as the application's panes do, with the control made and
    // in place inside it.
    STDMETHODIMP CreateCTP(BSTR axId, BSTR title, VARIANT parent, _CustomTaskPane** pane) override {
        if (!pane) return E_POINTER;
        *pane = nullptr;
        if (!host_) return E_UNEXPECTED;
        MainWindow* window = host_->Active();
        ComPtr<IUnknown> parentObject;
        if (FAILED(ObjectArgument(parent, &parentObject)))
            return SetErrorDescription(DISP_E_TYPEMISMATCH, L"The parent window of a task pane must be a window.");
        if (parentObject) {
            WorkbookWindow* found = host_->App().FindWindow(parentObject.Get());
            if (!found) return SetErrorDescription(E_INVALIDARG, L"The parent window is not an open window.");
            if (host_->App().WindowPerWorkbook()) window = host_->WindowOf(found);
        }
        if (!window) return E_UNEXPECTED;
        TaskPane* created = nullptr;
        const HRESULT hr = window->AddPane(axId ? axId : L"", title ? title : L"", kDefaultPaneWidth, &created, false);
        if (FAILED(hr)) {
            window->RemovePane(created);
            return SetErrorDescription(hr, L"The task pane's ActiveX control could not be created.");
        }
        return created->PaneObject(pane);
    }

protected:
    std::span<const Member> Members() const override {
        static const Member members[] = {{L"CreateCTP", office::taskPaneFactory::CreateCTP}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const CallArgs& args, VARIANT* result, std::wstring* error) override {
        if (id != office::taskPaneFactory::CreateCTP) return DISP_E_MEMBERNOTFOUND;
        std::wstring axId, title;
        RETURN_IF_FAILED(StringArg(args, 0, &axId));
        RETURN_IF_FAILED(StringArg(args, 1, &title));
        Variant parent = Variant::Missing();
        if (const VARIANT* given = args.At(2)) RETURN_IF_FAILED(::VariantCopy(&parent, const_cast<VARIANT*>(given)));
        ComPtr<_CustomTaskPane> pane;
        const HRESULT hr = CreateCTP(Bstr(axId).get(), Bstr(title).get(), parent, &pane);
        if (FAILED(hr)) {
            *error = TakeErrorDescription();
            return hr;
        }
        return ReturnObject(result, pane.Get());
    }

private:
    HostWindow* host_;
};

// The add-in as the application lists it (its COMAddIn), given to OnConnection.
class AddIns::AddInObject final : public Automation<AddInObject> {
public:
    explicit AddInObject(std::wstring progId, std::wstring description)
        : progId_(std::move(progId)), description_(std::move(description)) {}

protected:
    std::span<const Member> Members() const override {
        namespace member = office::comAddIn;
        static const Member members[] = {
            {L"Description", member::Description}, {L"ProgId", member::ProgId}, {L"Connect", member::Connect}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const CallArgs&, VARIANT* result, std::wstring*) override {
        switch (id) {
            case office::comAddIn::Description: return ReturnString(result, description_);
            case office::comAddIn::ProgId: return ReturnString(result, progId_);
            case office::comAddIn::Connect: return ReturnBool(result, true);
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    std::wstring progId_, description_;
};

AddIns::AddIns(HostWindow& host) : host_(host), factory_(com::Make<Factory>(&host)) {}

AddIns::~AddIns() {
    UnloadAll();
    if (factory_) factory_->Detach();
}

void AddIns::LoadAll() {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, office::kAddInsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    std::vector<std::wstring> startUp;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        DWORD behavior = 0, size = sizeof(behavior);
        if (::RegGetValueW(key.get(), name, L"LoadBehavior", RRF_RT_REG_DWORD, nullptr, &behavior, &size) ==
                ERROR_SUCCESS &&
            behavior == 3)
            startUp.emplace_back(name, length);
    }
    for (const std::wstring& progId : startUp) {
        if (SUCCEEDED(Load(progId))) continue;
        const DWORD notLoaded = 2;
        ::RegSetKeyValueW(HKEY_CURRENT_USER, AddInKey(progId).c_str(), L"LoadBehavior", REG_DWORD, &notLoaded,
                          sizeof(notLoaded));
    }
}

HRESULT AddIns::Load(const std::wstring& progId, ext_ConnectMode mode) {
    CLSID clsid;
    RETURN_IF_FAILED(::CLSIDFromProgID(progId.c_str(), &clsid));
    ComPtr<IDTExtensibility2> connect;
    RETURN_IF_FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&connect)));

    wchar_t description[512] = {};
    DWORD size = sizeof(description);
    ::RegGetValueW(HKEY_CURRENT_USER, AddInKey(progId).c_str(), L"Description", RRF_RT_REG_SZ, nullptr, description,
                   &size);
    ComPtr<IDispatch> addInObject = com::Make<AddInObject>(progId, description);
    RETURN_IF_NULL_ALLOC(addInObject);
    CustomArray custom;
    RETURN_IF_FAILED(connect->OnConnection(&host_.App(), mode, addInObject.Get(), custom.get()));
    // From here on the add-in is loaded: a failure of its ribbon or of its pane is kept for
    // whoever asks, and the add-in stays connected, as in the application.
    Loaded& added = loaded_.emplace_back(Loaded{progId, connect});
    ComPtr<IRibbonExtensibility> ribbon;
    if (SUCCEEDED(connect.As(&ribbon))) {
        Bstr xml;
        added.ribbonResult = ribbon->GetCustomUI(Bstr(L"Microsoft.Excel.Workbook").get(), xml.put());
        if (SUCCEEDED(added.ribbonResult) && xml.get()) {
            added.ribbonXml = xml.str();
            added.ribbon = ribbon;
            std::wstring onLoad;
            for (MainWindow* window : host_.Windows()) {
                const HRESULT hr = window->GetRibbon().AddCustomUI(added.ribbonXml, ribbon.Get(), &onLoad);
                if (SUCCEEDED(added.ribbonResult)) added.ribbonResult = hr;
            }
            // The definition's onLoad gets the one IRibbonUI, which asks every window's ribbon.
            if (SUCCEEDED(added.ribbonResult) && !onLoad.empty()) {
                added.ribbonUI = MakeRibbonUI([this](const std::wstring& id) {
                    for (MainWindow* window : host_.Windows()) window->GetRibbon().Invalidate(id);
                });
                added.onLoadResult = dispatch::Call(ribbon.Get(), onLoad.c_str(), {Variant(added.ribbonUI.Get())});
            }
        }
    }
    ComPtr<ICustomTaskPaneConsumer> consumer;
    if (factory_ && SUCCEEDED(connect.As(&consumer))) added.paneResult = consumer->CTPFactoryAvailable(factory_.Get());
    connect->OnStartupComplete(custom.get());
    host_.Layout();
    return S_OK;
}

void AddIns::UnloadAll() {
    if (loaded_.empty()) return;
    CustomArray custom;
    for (const Loaded& addIn : loaded_) addIn.connect->OnBeginShutdown(custom.get());
    for (const Loaded& addIn : loaded_) addIn.connect->OnDisconnection(ext_dm_HostShutdown, custom.get());
    for (const Loaded& addIn : loaded_) DetachRibbonUI(addIn.ribbonUI.Get());
    for (MainWindow* window : host_.Windows()) window->GetRibbon().Clear();
    loaded_.clear();
    host_.Layout();
}

HRESULT AddIns::Untick(const std::wstring& progId) {
    const auto found =
        std::find_if(loaded_.begin(), loaded_.end(), [&](const Loaded& addIn) { return addIn.progId == progId; });
    if (found == loaded_.end()) return S_FALSE;
    const Loaded addIn = *found;  // the call may reach back here
    loaded_.erase(found);
    CustomArray custom;
    const HRESULT hr = addIn.connect->OnDisconnection(ext_dm_UserClosed, custom.get());
    DetachRibbonUI(addIn.ribbonUI.Get());
    for (MainWindow* window : host_.Windows()) {
        window->GetRibbon().Clear();
        AddRibbonsTo(window->GetRibbon());
    }
    host_.Layout();
    return hr;
}

void AddIns::AddRibbonsTo(Ribbon& ribbon) const {
    for (const Loaded& addIn : loaded_)
        if (addIn.ribbon && SUCCEEDED(addIn.ribbonResult)) ribbon.AddCustomUI(addIn.ribbonXml, addIn.ribbon.Get());
}

HRESULT AddIns::GetFactory(ICTPFactory** factory) const {
    if (!factory) return E_POINTER;
    *factory = nullptr;
    RETURN_HR_IF(E_UNEXPECTED, !factory_);
    return factory_->QueryInterface(IID_PPV_ARGS(factory));
}

}  // namespace cartulane::sheethost
