#pragma once
// The spreadsheet object model of the stand-in application: Application, Workbooks,
// Workbook, Sheets and Worksheet over in-memory workbooks, reachable by late binding
// with the real application's names and DISPIDs, and the application events through a
// connection point with the real dispinterface's IID and DISPIDs.
//
// Events follow each change, on the caller's thread:
//   Workbooks.Add:   NewWorkbook(new), WorkbookDeactivate(old), WorkbookActivate(new)
//   Workbooks.Open:  WorkbookOpen(new), WorkbookDeactivate(old), WorkbookActivate(new)
//   Activate:        WorkbookDeactivate(old), WorkbookActivate(new)
//   Close:           WorkbookBeforeClose(wb, Cancel); if it was active, WorkbookDeactivate(wb)
//                    while it is still open, then WorkbookActivate(next) once it is gone.

#include "office_h.h"
#include "runtime/ConnectionPoint.h"
#include "sheethost/Automation.h"

#include <ocidl.h>

#include <functional>
#include <optional>

namespace cartulane::sheethost {

namespace xl {
// Application
constexpr DISPID Workbooks = 0x23C, Version = 0x188, Quit = 0x12E, ActiveWorkbook = 0x134, ActiveSheet = 0x133,
                 Name = 0x6E;
// Workbooks and Sheets
constexpr DISPID Item = 0xAA, Count = 0x76, Add = 0xB5, Open = 0x783;
// Workbook
constexpr DISPID Activate = 0x130, Sheets = 0x1E5, Worksheets = 0x1EE, SaveAs = 0x785, Close = 0x115,
                 Saved = 0x12A, FullName = 0x121, Path = 0x123;
// Worksheet
constexpr DISPID Visible = 0x22E, Select = 0xEB;
// XlSheetVisibility
constexpr long SheetVisible = -1, SheetHidden = 0, SheetVeryHidden = 2;
}  // namespace xl

class Workbook;

class Sheet final : public Automation<Sheet> {
public:
    Sheet(Workbook* book, std::wstring name, bool chart) : book_(book), name_(std::move(name)), chart_(chart) {}
    const std::wstring& Name() const { return name_; }
    long Visible() const { return visible_; }
    bool IsChart() const { return chart_; }
    void Detach() { book_ = nullptr; }

protected:
    std::span<const Member> Members() const override;
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) override;

private:
    friend class Workbook;
    Workbook* book_;
    std::wstring name_;
    bool chart_;
    long visible_ = xl::SheetVisible;
};

class Application;

class Workbook final : public Automation<Workbook> {
public:
    Workbook(Application* app, std::wstring name, std::wstring path);
    const std::wstring& Name() const { return name_; }
    const std::wstring& Path() const { return path_; }  // full path of its file, "" before the first save
    bool Saved() const { return saved_; }
    void SetSaved(bool saved) { saved_ = saved; }
    const std::vector<ComPtr<Sheet>>& Sheets() const { return sheets_; }
    Sheet* ActiveSheet() const { return active_; }
    // A chart sheet: in Sheets, not in Worksheets.
    void AddChartSheet(const std::wstring& name);
    void RemoveSheet(const std::wstring& name);
    // As the Visible property and Select do: the last visible sheet cannot be hidden, and
    // only a visible sheet of the active workbook can be selected.
    HRESULT SetSheetVisible(Sheet* sheet, long visible, std::wstring* error);
    HRESULT SelectSheet(Sheet* sheet, std::wstring* error = nullptr);
    HRESULT SaveAs(const std::wstring& file, std::wstring* error);
    void Detach();

protected:
    std::span<const Member> Members() const override;
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) override;

private:
    friend class Sheet;
    friend class Application;
    void Changed();

    Application* app_;
    std::wstring name_;
    std::wstring path_;
    std::vector<ComPtr<Sheet>> sheets_;
    Sheet* active_ = nullptr;
    bool saved_ = true;
};

class Application final : public Automation<Application, IDispatch, IConnectionPointContainer> {
public:
    Application();
    ~Application();
    static const QITAB* Interfaces();

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
        if (points) *points = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    void SetVersion(std::wstring version) { version_ = std::move(version); }
    // The window that owns the application's own questions (save, replace).
    void SetOwnerWindow(HWND owner) { owner_ = owner; }
    HWND OwnerWindow() const { return owner_; }

    const std::vector<ComPtr<Workbook>>& OpenWorkbooks() const { return workbooks_; }
    Workbook* ActiveWorkbook() const { return active_; }
    Workbook* Find(const std::wstring& name) const;  // by name, ignoring case

    HRESULT AddWorkbook(ComPtr<Workbook>* added);
    HRESULT OpenWorkbook(const std::wstring& file, ComPtr<Workbook>* opened, std::wstring* error);
    HRESULT ActivateWorkbook(Workbook* book);
    // saveChanges given: save or not without asking; otherwise the application asks when
    // there are unsaved changes (Yes, No, Cancel). A cancelled close leaves it open.
    HRESULT CloseWorkbook(Workbook* book, std::optional<bool> saveChanges, std::wstring* error);
    // Closes every workbook, asking as Close does; false when the user kept one open.
    bool CloseAll();
    // CloseAll, then lets the host end.
    HRESULT Quit();

    size_t EventSinks() const { return events_.Count(); }

    // The host's window follows these.
    std::function<void()> Changed;
    std::function<void()> QuitRequested;

protected:
    std::span<const Member> Members() const override;
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) override;

private:
    friend class Workbook;
    void Raise(DISPID event, Workbook* book, VARIANT_BOOL* cancel = nullptr);
    void Notify();
    void MakeActive(Workbook* book);

    std::wstring version_ = L"16.0";
    HWND owner_ = nullptr;
    std::vector<ComPtr<Workbook>> workbooks_;
    Workbook* active_ = nullptr;
    int nextBook_ = 1;
    com::EventSinks events_{DIID_AppEvents};
};

}  // namespace cartulane::sheethost
