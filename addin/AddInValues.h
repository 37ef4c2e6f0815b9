#pragma once
// The add-in's own values, one set for the loaded library: the application it serves,
// the relay of the application's events, the task pane and the control inside it.

#include "Brevant_h.h"
#include "Tabrix_h.h"
#include "office_h.h"
#include "runtime/Variant.h"

namespace cartulane::addin {

class ExcelApp;

extern ComPtr<IDispatch> HostApp;             // set by OnConnection
extern ComPtr<ExcelApp> AppEventSink;         // set by OnConnection
extern ComPtr<_CustomTaskPane> FileTaskPane;  // set by CTPFactoryAvailable
extern ComPtr<_TestControl> PaneControl;      // set by CTPFactoryAvailable

// Lets go of all four; for the library's unloading.
void ReleaseAddInValues();
// Forgets all four without releasing them: at process exit, what they point to may be
// gone already.
void AbandonAddInValues();

}  // namespace cartulane::addin
