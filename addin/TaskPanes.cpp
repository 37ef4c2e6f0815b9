#include "addin/TaskPanes.h"

#include "runtime/Dispatch.h"

#include <algorithm>

namespace cartulane::addin {

namespace {

constexpr wchar_t kControlProgId[] = L"Quillet.TestControl";
constexpr wchar_t kPaneTitle[] = L"Cartulane";
constexpr int kPaneWidth = 245;  // in the application's unit for pane widths

ComPtr<IUnknown> Identity(IUnknown* object) {
    ComPtr<IUnknown> identity;
    if (object) object->QueryInterface(IID_PPV_ARGS(&identity));
    return identity;
}

// A window of the application, told apart by its handle (Window.Hwnd, 2013 and later): the
// application is not known to hand out the same object for a window each time. By COM
// identity only where a window has no handle to give; Nothing is the same as Nothing.
struct WindowKey {
    long handle = 0;
    ComPtr<IUnknown> identity;
    bool operator==(const WindowKey& other) const {
        return handle || other.handle ? handle == other.handle : identity.Get() == other.identity.Get();
    }
};

long HandleOf(IDispatch* window) {
    Variant value;
    long handle = 0;
    if (!window || FAILED(dispatch::Get(window, L"Hwnd", &value)) || FAILED(value.ToInt(&handle))) return 0;
    return handle;
}

WindowKey KeyOf(IDispatch* window) { return {HandleOf(window), Identity(window)}; }
WindowKey KeyOf(const WindowPane& entry) { return {entry.windowHandle, Identity(entry.window.Get())}; }

WindowPane* EntryOf(_CustomTaskPane* pane) {
    std::vector<WindowPane>* panes = AddIn().WindowPanes.Peek();
    if (!panes) return nullptr;
    for (WindowPane& entry : *panes)
        if (entry.pane.Get() == pane) return &entry;
    return nullptr;
}

void Forget(_CustomTaskPane* pane) {
    AddInValues& values = AddIn();
    if (values.FileTaskPane.Get() == pane) {
        values.FileTaskPane.Reset();
        values.PaneControl.Reset();
    }
    std::vector<WindowPane>* panes = values.WindowPanes.Peek();
    if (!panes) return;
    // Released once out of the list: letting go of the control may call back.
    std::vector<WindowPane> gone;
    for (WindowPane& entry : *panes)
        if (entry.pane.Get() == pane) gone.push_back(std::move(entry));
    std::erase_if(*panes, [](const WindowPane& entry) { return !entry.pane; });
}

// Every window's toggle is asked for its state again once the panes are as they will stay
// (the ribbon asks later, not from inside this call): after a toggle, when a window got a pane
// and when one was found gone.
void AskToggles() {
    if (ComPtr<IDispatch> ribbon = AddIn().RibbonUI.Get())
        dispatch::Call(ribbon.Get(), L"InvalidateControl", {Variant(L"Button")});
}

// Each pane is asked for its window: the application deletes a pane with its window, and a
// deleted pane fails the call, so it is forgotten. A window's handle is no mark of a pane's:
// from 15.0 the frame the last workbook leaves takes the next one, handle and all. A second
// pane found in one window goes, so that each window has one.
void ForgetDeadPanes() {
    std::vector<WindowPane>* panes = AddIn().WindowPanes.Peek();
    if (!panes || panes->empty()) return;
    const std::vector<WindowPane> snapshot = *panes;
    std::vector<WindowKey> seen;
    bool forgot = false;
    for (const WindowPane& entry : snapshot) {
        ComPtr<IDispatch> window;
        if (FAILED(entry.pane->get_Window(&window))) {
            Forget(entry.pane.Get());
            forgot = true;
            continue;
        }
        const WindowKey key{HandleOf(window.Get()), Identity(window.Get())};
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
            Forget(entry.pane.Get());
            entry.pane->Delete();
            forgot = true;
            continue;
        }
        seen.push_back(key);
        if (WindowPane* kept = EntryOf(entry.pane.Get())) {
            kept->window = window;
            kept->windowHandle = key.handle;
        }
    }
    if (forgot) AskToggles();
}

// The live pane of ours in that window (Nothing: the window without a workbook).
WindowPane* PaneIn(IDispatch* window) {
    std::vector<WindowPane>* panes = AddIn().WindowPanes.Peek();
    if (!panes) return nullptr;
    const WindowKey key = KeyOf(window);
    for (WindowPane& entry : *panes)
        if (KeyOf(entry) == key) return &entry;
    return nullptr;
}

// A pane made for a window that had none: its workbook tree is filled now, since the
// workbook events of that window have passed.
HRESULT MakeFilledPane(IDispatch* window, bool visible) {
    AddInValues& values = AddIn();
    if (!values.PaneFactory || values.MakingPane) return S_OK;
    ComPtr<ICTPFactory> factory(values.PaneFactory.Get());
    RETURN_IF_FAILED(MakePane(factory.Get(), window, visible));
    ComPtr<_TestControl> control(values.PaneControl.Get());
    return control ? control->FillTvw() : S_OK;
}

}  // namespace

HRESULT MakePane(ICTPFactory* factory, IDispatch* window, bool visible) {
    AddInValues& values = AddIn();
    if (!factory) return E_POINTER;
    if (values.MakingPane) return S_OK;
    struct AskAfter {
        ~AskAfter() {
            AddIn().MakingPane = false;
            AskToggles();
        }
    } askAfter;
    values.MakingPane = true;
    return Boundary([&]() -> HRESULT {
        RETURN_IF_NULL_ALLOC(values.WindowPanes.Get());
        ComPtr<IDispatch> parent(window);  // the host's calls below may let go of the caller's
        Variant parentArgument = parent ? Variant(parent.Get()) : Variant::Missing();
        ComPtr<_CustomTaskPane> pane;
        RETURN_IF_FAILED(
            factory->CreateCTP(Bstr(kControlProgId).get(), Bstr(kPaneTitle).get(), parentArgument, &pane));
        RETURN_HR_IF(E_POINTER, !pane);
        values.PaneControl.Reset();
        values.FileTaskPane = pane.Get();
        if (std::vector<WindowPane>* panes = values.WindowPanes.Get())
            panes->push_back({pane, nullptr, parent, HandleOf(parent.Get())});
        RETURN_IF_FAILED(pane->put_DockPosition(msoCTPDockPositionLeft));
        RETURN_IF_FAILED(pane->put_Width(kPaneWidth));
        ComPtr<IDispatch> content;
        RETURN_IF_FAILED(pane->get_ContentControl(&content));
        RETURN_HR_IF(E_NOINTERFACE, !content);
        ComPtr<_TestControl> control;
        RETURN_IF_FAILED(content.As(&control));
        if (values.FileTaskPane.Get() == pane.Get()) values.PaneControl = control.Get();
        if (WindowPane* entry = EntryOf(pane.Get())) entry->control = control;
        RETURN_IF_FAILED(control->put_Application(values.HostApp.Get()));
        return pane->put_Visible(visible ? VARIANT_TRUE : VARIANT_FALSE);
    });
}

bool ApplicationVisible() {
    ComPtr<IDispatch> application(AddIn().HostApp.Get());
    Variant visible;
    bool shown = true;
    if (application && SUCCEEDED(dispatch::Get(application.Get(), L"Visible", &visible))) visible.ToBool(&shown);
    return shown;
}

void DeletePanes() {
    AddInValues& values = AddIn();
    std::vector<ComPtr<_CustomTaskPane>> panes;
    if (std::vector<WindowPane>* all = values.WindowPanes.Peek())
        for (const WindowPane& entry : *all) panes.push_back(entry.pane);
    const ComPtr<_CustomTaskPane> single = values.FileTaskPane.Get();
    const auto isSingle = [&](const ComPtr<_CustomTaskPane>& pane) { return pane.Get() == single.Get(); };
    if (single && std::none_of(panes.begin(), panes.end(), isSingle)) panes.push_back(single);
    values.ReleasePanes();
    for (const auto& pane : panes) pane->Delete();
}

HRESULT ShowPaneOf(IDispatch* window) {
    AddInValues& values = AddIn();
    return Boundary([&]() -> HRESULT {
        ComPtr<IDispatch> activated(window);
        if (!values.PanePerWindow)
            return !values.FileTaskPane && ApplicationVisible() ? MakeFilledPane(nullptr, values.PanesShown) : S_OK;
        ForgetDeadPanes();
        if (WindowPane* entry = PaneIn(activated.Get())) {
            // Copied first: letting go of the pane held until now may call back into the list.
            const ComPtr<_CustomTaskPane> pane = entry->pane;
            const ComPtr<_TestControl> control = entry->control;
            values.FileTaskPane = pane.Get();
            values.PaneControl = control.Get();
            return S_OK;
        }
        return ApplicationVisible() ? MakeFilledPane(activated.Get(), values.PanesShown) : S_OK;
    });
}

HRESULT RefreshWorkbookTrees() {
    AddInValues& values = AddIn();
    if (!values.PanePerWindow) return values.PaneControl ? values.PaneControl->FillTvw() : S_OK;
    return Boundary([&]() -> HRESULT {
        ForgetDeadPanes();
        std::vector<ComPtr<_TestControl>> controls;
        if (std::vector<WindowPane>* panes = values.WindowPanes.Peek())
            for (const WindowPane& entry : *panes)
                if (entry.control) controls.push_back(entry.control);
        HRESULT first = S_OK;
        for (const auto& control : controls) {
            const HRESULT hr = control->FillTvw();
            if (SUCCEEDED(first)) first = hr;
        }
        return first;
    });
}

bool ToggleDown(IDispatch* ribbonControl) {
    AddInValues& values = AddIn();
    if (!values.PanePerWindow) return values.PanesShown && values.FileTaskPane.Get();  // no pane yet: up; a press makes it, shown
    if (!values.PanesShown || !ribbonControl) return values.PanesShown;
    return Boundary([&]() -> HRESULT {
               ForgetDeadPanes();
               Variant context;
               RETURN_IF_FAILED(dispatch::Get(ribbonControl, L"Context", &context));
               ComPtr<IDispatch> window;  // Nothing: the window without a workbook
               context.ToDispatch(&window);
               return PaneIn(window.Get()) ? S_OK : S_FALSE;
           }) == S_OK;
}

HRESULT ShowPanes(IDispatch* ribbonControl, bool shown) {
    AddInValues& values = AddIn();
    const auto noPane = [] {
        return SetErrorDescription(ControlError(91), L"Object variable or With block variable not set");
    };
    if (!values.PanePerWindow) {
        // A pane that could not be made at start is made now.
        if (!values.FileTaskPane && ApplicationVisible()) MakeFilledPane(nullptr, shown);
        if (!values.FileTaskPane) return noPane();
        values.PanesShown = shown;
        const HRESULT hr = values.FileTaskPane->put_Visible(shown ? VARIANT_TRUE : VARIANT_FALSE);
        AskToggles();
        return hr;
    }
    const HRESULT result = Boundary([&]() -> HRESULT {
        values.PanesShown = shown;
        ForgetDeadPanes();
        Variant context;
        if (shown && ribbonControl && SUCCEEDED(dispatch::Get(ribbonControl, L"Context", &context))) {
            ComPtr<IDispatch> window;  // Nothing: the window without a workbook
            if (SUCCEEDED(context.ToDispatch(&window)) || context.vt == VT_DISPATCH) {
                if (!PaneIn(window.Get())) MakeFilledPane(window.Get(), true);
            }
        }
        std::vector<ComPtr<_CustomTaskPane>> panes;
        if (std::vector<WindowPane>* all = values.WindowPanes.Peek())
            for (const WindowPane& entry : *all) panes.push_back(entry.pane);
        if (panes.empty()) return noPane();
        for (const auto& pane : panes)
            if (FAILED(pane->put_Visible(shown ? VARIANT_TRUE : VARIANT_FALSE))) Forget(pane.Get());
        return S_OK;
    });
    AskToggles();
    return result;
}

}  // namespace cartulane::addin
