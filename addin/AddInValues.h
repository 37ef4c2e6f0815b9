#pragma once
// The add-in's own values, one set for the loaded library: the application it serves,
// the relay of the application's events, the task pane and the control inside it. They
// are never released by the C++ runtime (see StaticComPtr): the add-in lets go of them
// when the application shuts down or disconnects it, and when the library may be
// unloaded; at process exit they are abandoned.

#include "Brevant_h.h"
#include "Tabrix_h.h"
#include "office_h.h"
#include "runtime/ComPtr.h"

namespace cartulane::addin {

class ExcelApp;

extern StaticComPtr<IDispatch> HostApp;             // set by OnConnection
extern StaticComPtr<ExcelApp> AppEventSink;         // set by OnConnection
extern StaticComPtr<_CustomTaskPane> FileTaskPane;  // set by CTPFactoryAvailable
extern StaticComPtr<_TestControl> PaneControl;      // set by CTPFactoryAvailable

// Lets go of the pane and the control.
void ReleasePane();
// Lets go of all four.
void ReleaseAddInValues();

}  // namespace cartulane::addin
