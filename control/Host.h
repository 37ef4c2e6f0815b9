#pragma once
// The calls the control makes on the spreadsheet application, typed, over late-bound
// calls by name: they work with every version of the application.

#include "runtime/Variant.h"

#include <functional>
#include <string>

namespace cartulane::control::host {

using Visit = std::function<HRESULT(IDispatch* item)>;

// Application
HRESULT ForEachWorkbook(IDispatch* application, const Visit& visit);  // in collection order
HRESULT WorkbookByName(IDispatch* application, const std::wstring& name, ComPtr<IDispatch>* workbook);
HRESULT OpenWorkbook(IDispatch* application, const std::wstring& file);
HRESULT AddWorkbook(IDispatch* application, ComPtr<IDispatch>* workbook);
HRESULT Version(IDispatch* application, std::wstring* version);

// Workbook and sheets
HRESULT Name(IDispatch* workbookOrSheet, std::wstring* name);
HRESULT Activate(IDispatch* workbook);
HRESULT ForEachSheet(IDispatch* workbook, const Visit& visit);  // in tab order
HRESULT WorksheetByName(IDispatch* workbook, const std::wstring& name, ComPtr<IDispatch>* worksheet);
// XlFileFormat
constexpr long kWorkbookNormal = -4143, kExcel8 = 56, kOpenXmlWorkbook = 51, kOpenXmlWorkbookMacroEnabled = 52,
               kExcel12 = 50;
HRESULT SaveAs(IDispatch* workbook, const std::wstring& file, long fileFormat);
// Every optional argument left out: the application asks about unsaved changes itself.
HRESULT Close(IDispatch* workbook);
// Closes it without saving and without asking.
HRESULT CloseWithoutSaving(IDispatch* workbook);
HRESULT Visible(IDispatch* worksheet, long* visible);  // -1 visible, 0 hidden, 2 very hidden
HRESULT Select(IDispatch* worksheet);

}  // namespace cartulane::control::host
