#pragma once
// The add-in's own values, one set for the loaded library: the application it serves,
// the relay of the application's events, the task panes and the controls inside them.
// They are never released by the C++ runtime (see StaticComPtr and ModuleState): the
// add-in lets go of them when the application shuts down or disconnects it, and when the
// library may be unloaded; at process exit they are abandoned.

#include "Brevant_h.h"
#include "Tabrix_h.h"
#include "office_h.h"
#include "runtime/ComObject.h"
#include "runtime/ComPtr.h"

#include <vector>

namespace cartulane::addin {

class ExcelApp;

extern StaticComPtr<IDispatch> HostApp;             // set by OnConnection
extern StaticComPtr<ExcelApp> AppEventSink;         // set by OnConnection
// The pane and the control of the active window (before 15.0: of the one window).
extern StaticComPtr<_CustomTaskPane> FileTaskPane;  // set by CTPFactoryAvailable
extern StaticComPtr<_TestControl> PaneControl;      // set by CTPFactoryAvailable
// The ribbon's IRibbonUI, through which the toggle of every window is asked again.
extern StaticComPtr<IDispatch> RibbonUI;            // set by the ribbon's onLoad

// A pane of ours, its control, and the window it was last seen in (empty until known, and
// in a window without a workbook) with that window's handle (0 when it has none).
struct WindowPane {
    ComPtr<_CustomTaskPane> pane;
    ComPtr<_TestControl> control;
    ComPtr<IDispatch> window;
    long windowHandle = 0;
};

// From 15.0 on every workbook window has its own panes: the add-in keeps one in each.
extern bool PanePerWindow;                          // set by OnConnection
extern StaticComPtr<ICTPFactory> PaneFactory;       // set by CTPFactoryAvailable (15.0 and later)
extern com::ModuleState<std::vector<WindowPane>> WindowPanes;  // every pane made, until found dead
extern bool PanesShown;                             // as the toggle's last use left the panes

// Lets go of the panes, the controls and the factory.
void ReleasePane();
// Lets go of everything.
void ReleaseAddInValues();

}  // namespace cartulane::addin
