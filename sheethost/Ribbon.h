#pragma once
// The stand-in application's ribbon: a strip across the top of a main window with the
// tabs that add-ins define in custom-UI XML (read with MSXML). It shows each tab's groups
// with their toggle buttons and, when one is pressed, calls the add-in back by the name
// given in onAction, as the application's ribbon does: GetIDsOfNames and Invoke on the
// add-in's IRibbonExtensibility, with the ribbon control and the pressed state.

#include "office_h.h"
#include "runtime/Handles.h"
#include "runtime/Variant.h"
#include "runtime/Window.h"

#include <functional>
#include <string>
#include <vector>

namespace cartulane::sheethost {

class Ribbon : private Window {
public:
    Ribbon() = default;
    ~Ribbon() override;

    HRESULT Create(HWND parent);
    using Window::Hwnd;
    // 0 while there is no tab.
    int Height() const;

    // Adds the tabs of a custom-UI definition; their callbacks go to the add-in. A toggle with
    // getPressed is asked for its state as it is made. *onLoad: the definition's onLoad.
    HRESULT AddCustomUI(const std::wstring& xml, IRibbonExtensibility* addIn, std::wstring* onLoad = nullptr);
    // The controls with this id (every control for ""), asked for their state again once
    // the call under way is done, as the application's ribbon does after IRibbonUI's
    // Invalidate and InvalidateControl.
    void Invalidate(const std::wstring& id);
    // Takes every tab away and lets go of the add-ins.
    void Clear();

    struct Tab {
        std::wstring id, label;
        std::vector<HWND> windows;  // group captions and buttons
    };
    const std::vector<Tab>& Tabs() const { return tabs_; }
    // The button with this id (or nullptr).
    HWND Button(const std::wstring& id) const;
    bool Pressed(const std::wstring& id) const;

    // The state goes to onAction by value, or as VT_BOOL | VT_BYREF with this set: add-ins
    // must take both.
    bool passPressedByReference = false;
    // What the last callback returned.
    HRESULT lastCallbackResult = S_OK;
    // The window the ribbon belongs to, handed to callbacks as the control's Context.
    std::function<ComPtr<IDispatch>()> Context;

private:
    struct Control {
        std::wstring id, tag, onAction, getPressed;
        HWND hwnd = nullptr;
        ComPtr<IRibbonExtensibility> addIn;
    };
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnDestroyed() override;
    HRESULT AddTab(IDispatch* tab, IRibbonExtensibility* addIn);
    void ShowTab(int index);
    void OnAction(const Control& control);
    void AskPressed(const Control& control);
    int Scale(int pixels) const;

    HWND tabStrip_ = nullptr;
    int dpi_ = 96;
    UniqueFont font_;
    std::vector<Tab> tabs_;
    std::vector<Control> controls_;
    std::vector<std::wstring> invalidated_;  // ids asked for again, until the posted message runs
};

// IRibbonUI as the ribbon hands it to an add-in's onLoad: Invalidate and InvalidateControl,
// by name, for every window's ribbon. Detach ends it when the add-in goes.
ComPtr<IDispatch> MakeRibbonUI(std::function<void(const std::wstring& id)> invalidate);
void DetachRibbonUI(IDispatch* ribbonUI);

}  // namespace cartulane::sheethost
