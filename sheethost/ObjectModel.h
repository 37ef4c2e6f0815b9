#pragma once
// The spreadsheet object model of the stand-in application: Application, Workbooks,
// Workbook, Sheets and Worksheet over in-memory workbooks, reachable by late binding
// with the real application's names and DISPIDs, and the application events through a
// connection point with the real dispinterface's IID and DISPIDs.
//
// Every workbook has one window (Window), made with it and closed with it; Windows lists
// them front to back, the active one first.
//
// Events follow each change, on the caller's thread. Switching from one workbook to another
// deactivates the old one's window, then the old workbook, then activates the new workbook,
// then its window:
//   Workbooks.Add:   NewWorkbook(new), then the switch
//   Workbooks.Open:  WorkbookOpen(new), then the switch
//   Activate:        the switch
//   Close:           WorkbookBeforeClose(wb, Cancel); if it was active, WindowDeactivate and
//                    WorkbookDeactivate while it is still open, then, once it and its window
//                    are gone, WorkbookActivate and WindowActivate of the next window.
//   SaveAs:          WorkbookAfterSave(wb, Success) after the attempt, from 14.0 on
//   Sheets.Add:      WorkbookNewSheet(wb, sheet)

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
                 Name = 0x6E, Windows = 0x1AE, ActiveWindow = 0x2F7;
// Workbooks and Sheets
constexpr DISPID Item = 0xAA, Count = 0x76, Add = 0xB5, Open = 0x783;
// Workbook
constexpr DISPID Activate = 0x130, Sheets = 0x1E5, Worksheets = 0x1EE, SaveAs = 0x785, Close = 0x115,
                 Saved = 0x12A, FullName = 0x121, Path = 0x123;
// Worksheet
constexpr DISPID Visible = 0x22E, Select = 0xEB;
// Window (Activate and Close as the workbook's), and Windows.Arrange. Hwnd is the
// window's handle (2013 and later); its DISPID is ours, callers find it by name.
constexpr DISPID Caption = 0x8B, Index = 0x1E6, Arrange = 0x27E, Hwnd = 0x7F4;
// XlArrangeStyle
constexpr long ArrangeTiled = 1, ArrangeCascade = 7, ArrangeHorizontal = -4128, ArrangeVertical = -4166;
// XlSheetVisibility
constexpr long SheetVisible = -1, SheetHidden = 0, SheetVeryHidden = 2;
}  // namespace xl

class Workbook;
class Application;

// A workbook's window in the object model. Closed with its workbook: then every call on
// it fails.
class WorkbookWindow final : public Automation<WorkbookWindow> {
public:
    explicit WorkbookWindow(Workbook* book) : book_(book) {}
    Workbook* Book() const { return book_; }
    // The caption given, or the workbook's name; Windows(text) finds a window by it.
    std::wstring Caption() const;
    std::wstring Name() const { return Caption(); }
    void Detach() { book_ = nullptr; }

protected:
    std::span<const Member> Members() const override;
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) override;

private:
    Workbook* book_;
    std::wstring caption_;
};

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

class Workbook final : public Automation<Workbook> {
public:
    Workbook(Application* app, std::wstring name, std::wstring path);
    const std::wstring& Name() const { return name_; }
    const std::wstring& Path() const { return path_; }  // full path of its file, "" before the first save
    bool Saved() const { return saved_; }
    void SetSaved(bool saved) { saved_ = saved; }
    const std::vector<ComPtr<Sheet>>& Sheets() const { return sheets_; }
    Sheet* ActiveSheet() const { return active_; }
    WorkbookWindow* Window() const { return window_.Get(); }
    // A chart sheet: in Sheets, not in Worksheets.
    void AddChartSheet(const std::wstring& name);
    void RemoveSheet(const std::wstring& name);
    // As the Visible property and Select do: the last visible sheet cannot be hidden, and
    // only a visible sheet of the active workbook can be selected.
    HRESULT SetSheetVisible(Sheet* sheet, long visible, std::wstring* error);
    HRESULT SelectSheet(Sheet* sheet, std::wstring* error = nullptr);
    // Written in the format given (an XlFileFormat), or in the application's default
    // format; the file says which ("format 51").
    // From 14.0 on, WorkbookAfterSave follows the attempt to write.
    HRESULT SaveAs(const std::wstring& file, std::wstring* error, std::optional<long> format = std::nullopt);
    // Sheets.Add: a new worksheet before the active one, made active; WorkbookNewSheet follows.
    HRESULT AddSheet(Sheet** added = nullptr);
    void Detach();

protected:
    std::span<const Member> Members() const override;
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) override;

private:
    friend class Sheet;
    friend class WorkbookWindow;
    friend class Application;
    void Changed();
    HRESULT Close(const CallArgs& args, std::wstring* error);

    Application* app_;
    std::wstring name_;
    std::wstring path_;
    ComPtr<WorkbookWindow> window_;
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
    // Application.Visible: False for an application another program started (automation),
    // until that program (or the user) makes it visible.
    bool Visible() const { return visible_; }
    HRESULT SetVisible(bool visible);
    // The format SaveAs writes when it is given none (the user's "save files in this
    // format"): the workbook format of 2003 for 11.0, else the Open XML workbook.
    void SetDefaultSaveFormat(long format) { defaultSaveFormat_ = format; }
    long DefaultSaveFormat() const { return defaultSaveFormat_ ? *defaultSaveFormat_ : version_ == L"11.0" ? -4143 : 51; }
    // From 15.0 on every workbook window is a top-level window of its own, with its own
    // ribbon and task panes; before, all are in the one main window.
    bool WindowPerWorkbook() const;
    // The window that owns the application's own questions (save, replace).
    void SetOwnerWindow(HWND owner) { owner_ = owner; }
    HWND OwnerWindow() const { return owner_; }

    const std::vector<ComPtr<Workbook>>& OpenWorkbooks() const { return workbooks_; }
    Workbook* ActiveWorkbook() const { return active_; }
    Workbook* Find(const std::wstring& name) const;  // by name, ignoring case
    // The windows front to back: the active workbook's first.
    std::vector<WorkbookWindow*> Windows() const;
    WorkbookWindow* ActiveWindow() const { return active_ ? active_->Window() : nullptr; }
    // The open window that is this object (any of its interfaces), or nullptr.
    WorkbookWindow* FindWindow(IUnknown* object) const;

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
    // The first failure a handler returned from an event since the last ask (S_OK for none).
    HRESULT TakeEventFailure() { return events_.TakeFailure(); }

    // Calls made on task panes that were deleted: they fail, as the application's do.
    void NoteCallOnDeletedPane() { ++deletedPaneCalls_; }
    size_t CallsOnDeletedPanes() const { return deletedPaneCalls_; }

    // The host's windows follow these. A workbook's window is opened before its first
    // event and closed before the next workbook is activated.
    std::function<void()> Changed;
    std::function<void()> QuitRequested;
    std::function<void(WorkbookWindow&)> WindowOpened;
    std::function<void(WorkbookWindow&)> WindowClosed;
    std::function<void(long style)> ArrangeRequested;
    // The application was made visible or invisible.
    std::function<void(bool visible)> VisibleChanged;
    // Before (false) and after (true) each modal dialog of the application's own.
    std::function<void(bool enable)> ModelessEnabled;
    // The top-level window that shows a workbook's window.
    std::function<HWND(const WorkbookWindow&)> WindowHandle;

protected:
    std::span<const Member> Members() const override;
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) override;

private:
    friend class Workbook;
    void Raise(DISPID event, Workbook* book, const VARIANT* second = nullptr);
    void RaiseWindow(DISPID event, Workbook* book);
    void Notify();
    void MakeActive(Workbook* book);
    HRESULT Opened(const ComPtr<Workbook>& book, DISPID event);

    bool visible_ = true;
    std::wstring version_ = L"16.0";
    std::optional<long> defaultSaveFormat_;
    HWND owner_ = nullptr;
    std::vector<ComPtr<Workbook>> workbooks_;
    std::vector<Workbook*> order_;  // front to back
    Workbook* active_ = nullptr;
    size_t deletedPaneCalls_ = 0;
    int nextBook_ = 1;
    com::EventSinks events_{DIID_AppEvents};
};

}  // namespace cartulane::sheethost
