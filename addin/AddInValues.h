#pragma once
// The add-in's own values, one set for the loaded library: the application it serves, the
// relay of the application's events, the ribbon, the task panes and the controls inside
// them. Connect owns them: it fills them as the application connects it and makes the
// panes, and lets go of them when the application shuts down or disconnects it; the module
// lets go of what is left when the library may be unloaded (DllCanUnloadNow). The set has
// no destructor, so at process exit what it holds is abandoned, never released into
// libraries that may be gone already.

#include "Brevant_h.h"
#include "Tabrix_h.h"
#include "office_h.h"
#include "runtime/ComObject.h"
#include "runtime/ComPtr.h"

#include <vector>

namespace cartulane::addin {

class ExcelApp;

// A pane of ours, its control, and the window it was last seen in (empty until known, and
// in a window without a workbook) with that window's handle (0 when it has none).
struct WindowPane {
    ComPtr<_CustomTaskPane> pane;
    ComPtr<_TestControl> control;
    ComPtr<IDispatch> window;
    long windowHandle = 0;
};

struct AddInValues {
    // From the connection to the disconnection.
    StaticComPtr<IDispatch> HostApp;
    StaticComPtr<ExcelApp> AppEventSink;
    // From 15.0 on every workbook window has its own panes: the add-in keeps one in each.
    bool PanePerWindow = false;
    // From the ribbon's onLoad to the disconnection: through it the toggle of every window
    // is asked again.
    StaticComPtr<IDispatch> RibbonUI;

    // The pane and the control of the active window (before 15.0: of the one window).
    StaticComPtr<_CustomTaskPane> FileTaskPane;
    StaticComPtr<_TestControl> PaneControl;
    StaticComPtr<ICTPFactory> PaneFactory;                // kept for the windows to come
    com::ModuleState<std::vector<WindowPane>> WindowPanes;  // every pane made, until found dead
    bool PanesShown = true;                               // as the toggle's last use left the panes
    bool MakingPane = false;  // an event the host raises meanwhile must not make another

    // Lets go of the panes, the controls and the factory.
    void ReleasePanes();
    // Lets go of everything.
    void ReleaseAll();
};

// The library's one set.
AddInValues& AddIn();

}  // namespace cartulane::addin
