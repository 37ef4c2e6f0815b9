#include "control/Host.h"

#include "runtime/Dispatch.h"

namespace cartulane::control::host {

namespace {

HRESULT ForEachIn(IDispatch* owner, const wchar_t* collection, const Visit& visit) {
    ComPtr<IDispatch> items;
    RETURN_IF_FAILED(dispatch::GetDispatch(owner, collection, &items));
    return dispatch::ForEach(items.Get(), [&](const Variant& item) {
        ComPtr<IDispatch> object;
        RETURN_IF_FAILED(item.ToDispatch(&object));
        return visit(object.Get());
    });
}

HRESULT ItemOf(IDispatch* owner, const wchar_t* collection, const std::wstring& name, ComPtr<IDispatch>* item) {
    ComPtr<IDispatch> items;
    RETURN_IF_FAILED(dispatch::GetDispatch(owner, collection, &items));
    return dispatch::GetDispatch(items.Get(), L"Item", item, {name});
}

}  // namespace

HRESULT ForEachWorkbook(IDispatch* application, const Visit& visit) {
    return ForEachIn(application, L"Workbooks", visit);
}

HRESULT WorkbookByName(IDispatch* application, const std::wstring& name, ComPtr<IDispatch>* workbook) {
    return ItemOf(application, L"Workbooks", name, workbook);
}

HRESULT OpenWorkbook(IDispatch* application, const std::wstring& file) {
    ComPtr<IDispatch> workbooks;
    RETURN_IF_FAILED(dispatch::GetDispatch(application, L"Workbooks", &workbooks));
    return dispatch::Call(workbooks.Get(), L"Open", {file});
}

HRESULT AddWorkbook(IDispatch* application, ComPtr<IDispatch>* workbook) {
    ComPtr<IDispatch> workbooks;
    RETURN_IF_FAILED(dispatch::GetDispatch(application, L"Workbooks", &workbooks));
    Variant added;
    RETURN_IF_FAILED(dispatch::Call(workbooks.Get(), L"Add", {}, &added));
    return added.ToDispatch(workbook);
}

HRESULT Version(IDispatch* application, std::wstring* version) {
    return dispatch::GetString(application, L"Version", version);
}

HRESULT Name(IDispatch* workbookOrSheet, std::wstring* name) {
    return dispatch::GetString(workbookOrSheet, L"Name", name);
}

HRESULT Activate(IDispatch* workbook) { return dispatch::Call(workbook, L"Activate"); }

HRESULT ForEachSheet(IDispatch* workbook, const Visit& visit) { return ForEachIn(workbook, L"Sheets", visit); }

HRESULT WorksheetByName(IDispatch* workbook, const std::wstring& name, ComPtr<IDispatch>* worksheet) {
    return ItemOf(workbook, L"Worksheets", name, worksheet);
}

HRESULT SaveAs(IDispatch* workbook, const std::wstring& file, long fileFormat) {
    return dispatch::Call(workbook, L"SaveAs", {file, Variant(static_cast<int>(fileFormat))});
}

HRESULT Close(IDispatch* workbook) { return dispatch::Call(workbook, L"Close"); }

HRESULT CloseWithoutSaving(IDispatch* workbook) { return dispatch::Call(workbook, L"Close", {Variant(false)}); }

HRESULT Visible(IDispatch* worksheet, long* visible) {
    Variant value;
    RETURN_IF_FAILED(dispatch::Get(worksheet, L"Visible", &value));
    return value.ToInt(visible);
}

HRESULT Select(IDispatch* worksheet) { return dispatch::Call(worksheet, L"Select"); }

}  // namespace cartulane::control::host
