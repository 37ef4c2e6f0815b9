#include "sheethost/ObjectModel.h"

#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <commdlg.h>
#include <olectl.h>

#include <algorithm>

namespace cartulane::sheethost {

namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
constexpr wchar_t kTitle[] = L"sheethost";

HRESULT Fail(std::wstring* error, std::wstring text) {
    *error = std::move(text);
    return ApplicationError();
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

std::wstring FullPath(const std::wstring& path) {
    std::wstring full = ExtendedPath(path);
    if (full.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + full.substr(8);
    if (full.starts_with(L"\\\\?\\")) return full.substr(4);
    return full;
}

// An item of a collection by 1-based number or by name (ignoring case).
template <typename T>
HRESULT ItemOf(const std::vector<T*>& items, const VARIANT* index, T** found, std::wstring* error) {
    *found = nullptr;
    if (!index) return DISP_E_PARAMNOTFOUND;
    if (index->vt == VT_BSTR) {
        const std::wstring name = index->bstrVal ? index->bstrVal : L"";
        for (T* item : items) {
            if (SameText(item->Name(), name)) {
                *found = item;
                return S_OK;
            }
        }
        return Fail(error, L"Subscript out of range");
    }
    Variant number;
    if (FAILED(::VariantChangeType(&number, const_cast<VARIANT*>(index), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
    if (number.lVal < 1 || number.lVal > static_cast<long>(items.size())) return Fail(error, L"Subscript out of range");
    *found = items[number.lVal - 1];
    return S_OK;
}

// collection(index) at once: its default member, with the failure's description.
HRESULT CollectionItem(IDispatch* collection, const VARIANT* index, VARIANT* result, std::wstring* error) {
    Variant copied;
    RETURN_IF_FAILED(::VariantCopy(&copied, const_cast<VARIANT*>(index)));
    DISPPARAMS item{&copied, nullptr, 1, 0};
    ExcepInfo exception;
    const HRESULT hr = collection->Invoke(DISPID_VALUE, IID_NULL, 0, kGet, &item, result, &exception, nullptr);
    if (hr != DISP_E_EXCEPTION) return hr;
    *error = exception.bstrDescription ? exception.bstrDescription : L"";
    return exception.Code();
}

// The members every collection has: Count, Item (by number or name) with the default
// member, and _NewEnum. DISP_E_MEMBERNOTFOUND for any other.
template <typename T>
HRESULT CollectionCall(DISPID id, const std::vector<T*>& items, const CallArgs& args, VARIANT* result,
                       std::wstring* error) {
    switch (id) {
        case xl::Count:
            return ReturnLong(result, static_cast<long>(items.size()));
        case xl::Item:
        case DISPID_VALUE: {
            T* found = nullptr;
            RETURN_IF_FAILED(ItemOf(items, args.At(0), &found, error));
            return ReturnObject(result, found);
        }
        case DISPID_NEWENUM: {
            std::vector<ComPtr<IDispatch>> all(items.begin(), items.end());
            return MakeEnumerator(std::move(all), result);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// Workbooks: the open workbooks in the order they were opened.
class WorkbooksCollection final : public Automation<WorkbooksCollection> {
public:
    explicit WorkbooksCollection(Application* app) : app_(app) {}

protected:
    std::span<const Member> Members() const override {
        static const Member members[] = {{L"Count", xl::Count},   {L"Item", xl::Item}, {L"_Default", DISPID_VALUE},
                                         {L"_NewEnum", DISPID_NEWENUM}, {L"Add", xl::Add},   {L"Open", xl::Open}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const CallArgs& args, VARIANT* result, std::wstring* error) override {
        switch (id) {
            case xl::Add: {
                ComPtr<Workbook> added;
                RETURN_IF_FAILED(app_->AddWorkbook(&added));
                return ReturnObject(result, added.Get());
            }
            case xl::Open: {
                std::wstring file;
                if (FAILED(StringArg(args, 0, &file))) return DISP_E_PARAMNOTFOUND;
                ComPtr<Workbook> opened;
                RETURN_IF_FAILED(app_->OpenWorkbook(file, &opened, error));
                return ReturnObject(result, opened.Get());
            }
            default: {
                std::vector<Workbook*> books;
                for (const auto& book : app_->OpenWorkbooks()) books.push_back(book.Get());
                return CollectionCall(id, books, args, result, error);
            }
        }
    }

private:
    ComPtr<Application> app_;
};

// Sheets of a workbook: all of them, or the worksheets only.
class SheetsCollection final : public Automation<SheetsCollection> {
public:
    SheetsCollection(Workbook* book, bool worksheetsOnly) : book_(book), worksheetsOnly_(worksheetsOnly) {}

protected:
    std::span<const Member> Members() const override {
        static const Member members[] = {{L"Count", xl::Count}, {L"Item", xl::Item}, {L"_Default", DISPID_VALUE},
                                         {L"_NewEnum", DISPID_NEWENUM}, {L"Add", xl::Add}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const CallArgs& args, VARIANT* result, std::wstring* error) override {
        if (id == xl::Add) {  // Before, After, Count and Type are not taken: one worksheet
            Sheet* added = nullptr;
            RETURN_IF_FAILED(book_->AddSheet(&added));
            return ReturnObject(result, added);
        }
        std::vector<Sheet*> sheets;
        for (const auto& sheet : book_->Sheets())
            if (!worksheetsOnly_ || !sheet->IsChart()) sheets.push_back(sheet.Get());
        return CollectionCall(id, sheets, args, result, error);
    }

private:
    ComPtr<Workbook> book_;
    bool worksheetsOnly_;
};

// Windows: the application's (front to back) or a workbook's.
class WindowsCollection final : public Automation<WindowsCollection> {
public:
    WindowsCollection(Application* app, Workbook* book) : app_(app), book_(book) {}

protected:
    std::span<const Member> Members() const override {
        static const Member members[] = {{L"Count", xl::Count},   {L"Item", xl::Item}, {L"_Default", DISPID_VALUE},
                                         {L"_NewEnum", DISPID_NEWENUM}, {L"Arrange", xl::Arrange}};
        return members;
    }
    HRESULT Call(DISPID id, WORD, const CallArgs& args, VARIANT* result, std::wstring* error) override {
        switch (id) {
            case xl::Arrange: {
                long style = xl::ArrangeTiled;
                if (const VARIANT* arg = args.At(0)) {
                    Variant value;
                    if (FAILED(::VariantChangeType(&value, const_cast<VARIANT*>(arg), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
                    style = value.lVal;
                }
                if (style != xl::ArrangeTiled && style != xl::ArrangeCascade && style != xl::ArrangeHorizontal &&
                    style != xl::ArrangeVertical)
                    return Fail(error, L"Arrange method of Windows class failed");
                if (app_->ArrangeRequested) app_->ArrangeRequested(style);
                return ReturnBool(result, true);
            }
            default: {
                // An item by number or by caption.
                std::vector<WorkbookWindow*> windows;
                if (book_) {
                    if (book_->Window()) windows.push_back(book_->Window());
                } else {
                    windows = app_->Windows();
                }
                return CollectionCall(id, windows, args, result, error);
            }
        }
    }

private:
    ComPtr<Application> app_;
    ComPtr<Workbook> book_;
};

}  // namespace

// ---- WorkbookWindow ----

std::wstring WorkbookWindow::Caption() const {
    if (!caption_.empty() || !book_) return caption_;
    return book_->Name();
}

std::span<const Member> WorkbookWindow::Members() const {
    static const Member members[] = {{L"Caption", xl::Caption}, {L"Activate", xl::Activate}, {L"Close", xl::Close},
                                     {L"Index", xl::Index},     {L"Hwnd", xl::Hwnd}};
    return members;
}

HRESULT WorkbookWindow::Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) {
    if (!book_) return Fail(error, L"Object required: the window is closed");
    switch (id) {
        case xl::Caption: {
            if (!(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) return ReturnString(result, Caption());
            Variant value;
            if (!args.PutValue() || FAILED(::VariantCopy(&value, const_cast<VARIANT*>(args.PutValue()))) ||
                FAILED(value.ToString(&caption_)))
                return DISP_E_TYPEMISMATCH;
            book_->Changed();
            return S_OK;
        }
        case xl::Index: {
            Application* app = book_->app_;
            const auto windows = app ? app->Windows() : std::vector<WorkbookWindow*>{};
            const auto at = std::find(windows.begin(), windows.end(), this);
            return ReturnLong(result, static_cast<long>(at - windows.begin()) + 1);
        }
        case xl::Hwnd: {
            Application* app = book_->app_;
            HWND hwnd = app && app->WindowHandle ? app->WindowHandle(*this) : nullptr;
            return ReturnLong(result, static_cast<long>(reinterpret_cast<LONG_PTR>(hwnd)));
        }
        // As the workbook's own: the window stands for its workbook.
        case xl::Activate: {
            ComPtr<Workbook> book(book_);
            return book->app_->ActivateWorkbook(book.Get());
        }
        case xl::Close: {
            ComPtr<Workbook> book(book_);
            return book->Close(args, error);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Sheet ----

std::span<const Member> Sheet::Members() const {
    static const Member members[] = {{L"Name", xl::Name}, {L"Visible", xl::Visible}, {L"Select", xl::Select}};
    return members;
}

HRESULT Sheet::Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) {
    if (!book_) return Fail(error, L"Object required: the workbook is closed");
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    switch (id) {
        case xl::Name: {
            if (!put) return ReturnString(result, name_);
            Variant value;
            std::wstring name;
            if (!args.PutValue() || FAILED(::VariantCopy(&value, const_cast<VARIANT*>(args.PutValue()))) ||
                FAILED(value.ToString(&name)))
                return DISP_E_TYPEMISMATCH;
            if (name.empty() || name.size() > 31 || name.find_first_of(L":\\/?*[]") != std::wstring::npos)
                return Fail(error, L"That sheet name is not valid.");
            for (const auto& other : book_->sheets_)
                if (other.Get() != this && SameText(other->name_, name))
                    return Fail(error, L"That name is already taken. Try a different one.");
            name_ = name;
            book_->saved_ = false;
            book_->Changed();
            return S_OK;
        }
        case xl::Visible: {
            if (!put) return ReturnLong(result, visible_);
            Variant value;
            if (!args.PutValue() || FAILED(::VariantChangeType(&value, const_cast<VARIANT*>(args.PutValue()), 0, VT_I4)))
                return DISP_E_TYPEMISMATCH;
            return book_->SetSheetVisible(this, value.lVal, error);
        }
        case xl::Select:
            return book_->SelectSheet(this, error);
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Workbook ----

Workbook::Workbook(Application* app, std::wstring name, std::wstring path)
    : app_(app), name_(std::move(name)), path_(std::move(path)), window_(com::Make<WorkbookWindow>(this)) {
    for (const wchar_t* sheet : {L"Sheet1", L"Sheet2", L"Sheet3"})
        if (auto made = com::Make<Sheet>(this, sheet, false)) sheets_.push_back(made);
    active_ = sheets_.empty() ? nullptr : sheets_.front().Get();
}

void Workbook::AddChartSheet(const std::wstring& name) {
    if (auto made = com::Make<Sheet>(this, name, true)) sheets_.push_back(made);
    Changed();
}

void Workbook::RemoveSheet(const std::wstring& name) {
    std::erase_if(sheets_, [&](const ComPtr<Sheet>& sheet) {
        if (!SameText(sheet->name_, name)) return false;
        sheet->Detach();
        if (active_ == sheet.Get()) active_ = nullptr;
        return true;
    });
    if (!active_ && !sheets_.empty()) active_ = sheets_.front().Get();
    Changed();
}

HRESULT Workbook::SetSheetVisible(Sheet* sheet, long visible, std::wstring* error) {
    if (visible != xl::SheetVisible && visible != xl::SheetHidden && visible != xl::SheetVeryHidden)
        return Fail(error, L"Unable to set the Visible property of the Worksheet class");
    if (visible != xl::SheetVisible && sheet->visible_ == xl::SheetVisible) {
        const auto shown = std::count_if(sheets_.begin(), sheets_.end(),
                                         [](const auto& s) { return s->visible_ == xl::SheetVisible; });
        if (shown <= 1) return Fail(error, L"Unable to set the Visible property of the Worksheet class");
    }
    if (sheet->visible_ == visible) return S_OK;
    sheet->visible_ = visible;
    if (visible != xl::SheetVisible && active_ == sheet) {
        for (const auto& other : sheets_)
            if (other->visible_ == xl::SheetVisible) {
                active_ = other.Get();
                break;
            }
    }
    saved_ = false;
    Changed();
    return S_OK;
}

HRESULT Workbook::SelectSheet(Sheet* sheet, std::wstring* error) {
    std::wstring ignored;
    if (!app_ || app_->ActiveWorkbook() != this || sheet->visible_ != xl::SheetVisible)
        return Fail(error ? error : &ignored, L"Select method of Worksheet class failed");
    active_ = sheet;
    Changed();
    return S_OK;
}

// Close(SaveChanges, Filename): saves under Filename first when asked to.
HRESULT Workbook::Close(const CallArgs& args, std::wstring* error) {
    std::optional<bool> save;
    if (const VARIANT* arg = args.At(0)) {
        Variant value;
        if (FAILED(::VariantChangeType(&value, const_cast<VARIANT*>(arg), 0, VT_BOOL))) return DISP_E_TYPEMISMATCH;
        save = value.boolVal != VARIANT_FALSE;
    }
    std::wstring file;
    if (SUCCEEDED(StringArg(args, 1, &file)) && save.value_or(false)) RETURN_IF_FAILED(SaveAs(file, error));
    return app_->CloseWorkbook(this, save, error);
}

void Workbook::Detach() {
    app_ = nullptr;
    for (const auto& sheet : sheets_) sheet->Detach();
    if (window_) window_->Detach();
}

void Workbook::Changed() {
    if (app_) app_->Notify();
}

HRESULT Workbook::SaveAs(const std::wstring& file, std::wstring* error, std::optional<long> format) {
    const std::wstring full = FullPath(file);
    if (full.empty()) return Fail(error, L"Method 'SaveAs' of object '_Workbook' failed");
    const std::wstring name = FileName(full);
    if (app_) {
        Workbook* other = app_->Find(name);
        if (other && other != this)
            return Fail(error, L"You can't save this workbook with the same name as another open workbook.");
    }
    if (FileSystem().FileExists(full) && !SameText(full, path_)) {
        const std::wstring question = L"A file named '" + name + L"' already exists in this location. Do you want to replace it?";
        if (::MessageBoxW(app_ ? app_->OwnerWindow() : nullptr, question.c_str(), kTitle, MB_YESNO | MB_ICONWARNING) != IDYES)
            return Fail(error, L"Method 'SaveAs' of object '_Workbook' failed");
    }
    ComPtr<Workbook> keep(this);  // a handler of the event may close it
    UniqueFile out(::CreateFileW(ExtendedPath(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    const long written_format = format ? *format : app_ ? app_->DefaultSaveFormat() : 51;
    const std::string content = "sheethost workbook\r\nformat " + std::to_string(written_format) + "\r\n";
    DWORD written = 0;
    const bool success =
        out && ::WriteFile(out.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    out.reset();
    if (success) {
        path_ = full;
        name_ = name;
        saved_ = true;
        Changed();
    }
    // Told after the attempt, from 14.0 on, whether it went through or not.
    if (app_ && _wtoi(app_->version_.c_str()) >= 14) {
        VARIANT succeeded;
        succeeded.vt = VT_BOOL;
        succeeded.boolVal = success ? VARIANT_TRUE : VARIANT_FALSE;
        app_->Raise(office::WorkbookAfterSave, this, &succeeded);
    }
    return success ? S_OK : Fail(error, L"Cannot access '" + full + L"'.");
}

// A worksheet named after the sheets there are, before the active sheet, and active.
HRESULT Workbook::AddSheet(Sheet** added) {
    std::wstring name;
    for (size_t n = sheets_.size() + 1;; ++n) {
        name = L"Sheet" + std::to_wstring(n);
        if (std::none_of(sheets_.begin(), sheets_.end(), [&](const auto& s) { return SameText(s->name_, name); })) break;
    }
    auto sheet = com::Make<Sheet>(this, name, false);
    RETURN_IF_NULL_ALLOC(sheet);
    const auto at = std::find_if(sheets_.begin(), sheets_.end(), [&](const auto& s) { return s.Get() == active_; });
    sheets_.insert(at, sheet);
    active_ = sheet.Get();
    saved_ = false;
    Changed();
    if (app_) {
        VARIANT sh;
        sh.vt = VT_DISPATCH;
        sh.pdispVal = sheet.Get();
        app_->Raise(office::WorkbookNewSheet, this, &sh);
    }
    if (added) *added = sheet.Get();
    return S_OK;
}

std::span<const Member> Workbook::Members() const {
    static const Member members[] = {{L"Name", xl::Name},       {L"Activate", xl::Activate}, {L"Sheets", xl::Sheets},
                                     {L"Worksheets", xl::Worksheets}, {L"SaveAs", xl::SaveAs}, {L"Close", xl::Close},
                                     {L"Saved", xl::Saved},     {L"FullName", xl::FullName}, {L"Path", xl::Path},
                                     {L"ActiveSheet", xl::ActiveSheet}, {L"Windows", xl::Windows}};
    return members;
}

HRESULT Workbook::Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result, std::wstring* error) {
    if (!app_) return Fail(error, L"Object required: the workbook is closed");
    switch (id) {
        case xl::Name:
            return ReturnString(result, name_);
        case xl::FullName:
            return ReturnString(result, path_.empty() ? name_ : path_);
        case xl::Path:
            return ReturnString(result, path_.empty() ? L"" : path_.substr(0, path_.find_last_of(L'\\')));
        case xl::Saved:
            if (flags & DISPATCH_PROPERTYPUT) {
                Variant value;
                if (!args.PutValue() || FAILED(::VariantChangeType(&value, const_cast<VARIANT*>(args.PutValue()), 0, VT_BOOL)))
                    return DISP_E_TYPEMISMATCH;
                saved_ = value.boolVal != VARIANT_FALSE;
                return S_OK;
            }
            return ReturnBool(result, saved_);
        case xl::Activate:
            return app_->ActivateWorkbook(this);
        case xl::ActiveSheet:
            return ReturnObject(result, active_);
        case xl::Windows: {
            auto windows = com::Make<WindowsCollection>(app_, this);
            RETURN_IF_NULL_ALLOC(windows);
            if (!args.At(0)) return ReturnObject(result, windows.Get());
            return CollectionItem(windows.Get(), args.At(0), result, error);
        }
        case xl::Sheets:
        case xl::Worksheets: {
            auto sheets = com::Make<SheetsCollection>(this, id == xl::Worksheets);
            RETURN_IF_NULL_ALLOC(sheets);
            if (!args.At(0)) return ReturnObject(result, sheets.Get());
            // Worksheets("Sheet1"): the collection's item at once.
            return CollectionItem(sheets.Get(), args.At(0), result, error);
        }
        case xl::SaveAs: {
            std::wstring file;
            if (FAILED(StringArg(args, 0, &file))) return DISP_E_PARAMNOTFOUND;
            std::optional<long> format;
            if (const VARIANT* given = args.At(1)) {
                Variant number;
                if (FAILED(::VariantChangeType(&number, const_cast<VARIANT*>(given), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
                format = number.lVal;
            }
            return SaveAs(file, error, format);
        }
        case xl::Close:
            return Close(args, error);
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Application ----

Application::Application() = default;

Application::~Application() {
    for (const auto& book : workbooks_) book->Detach();
}

const QITAB* Application::Interfaces() {
    static const QITAB table[] = {
        QITABENT(Application, IDispatch),
        QITABENT(Application, IConnectionPointContainer),
        {},
    };
    return table;
}

STDMETHODIMP Application::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return com::FindConnectionPoint(this, events_, iid, point);
}

// The workbook first, then the event's second argument when it has one: stored last first.
void Application::Raise(DISPID event, Workbook* book, const VARIANT* second) {
    VARIANT args[2];
    ::VariantInit(&args[0]);
    if (second) args[0] = *second;
    VARIANT& wb = args[second ? 1 : 0];
    ::VariantInit(&wb);
    wb.vt = VT_DISPATCH;
    wb.pdispVal = book;
    events_.Raise(event, args, second ? 2 : 1);
}

// WindowActivate and WindowDeactivate: the workbook and its window.
void Application::RaiseWindow(DISPID event, Workbook* book) {
    ComPtr<WorkbookWindow> window(book->Window());
    if (!window) return;
    VARIANT wn;
    wn.vt = VT_DISPATCH;
    wn.pdispVal = window.Get();
    Raise(event, book, &wn);
}

bool Application::WindowPerWorkbook() const { return _wtoi(version_.c_str()) >= 15; }

std::vector<WorkbookWindow*> Application::Windows() const {
    std::vector<WorkbookWindow*> windows;
    for (Workbook* book : order_)
        if (book->Window()) windows.push_back(book->Window());
    return windows;
}

WorkbookWindow* Application::FindWindow(IUnknown* object) const {
    if (!object) return nullptr;
    ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&identity)))) return nullptr;
    for (WorkbookWindow* window : Windows()) {
        ComPtr<IUnknown> candidate;
        if (SUCCEEDED(window->QueryInterface(IID_PPV_ARGS(&candidate))) && candidate.Get() == identity.Get())
            return window;
    }
    return nullptr;
}

void Application::Notify() {
    if (Changed) Changed();
}

Workbook* Application::Find(const std::wstring& name) const {
    for (const auto& book : workbooks_)
        if (SameText(book->Name(), name)) return book.Get();
    return nullptr;
}

void Application::MakeActive(Workbook* book) {
    ComPtr<Workbook> old(active_);
    if (old.Get() == book) return;
    if (old) {
        RaiseWindow(office::WindowDeactivate, old.Get());
        Raise(office::WorkbookDeactivate, old.Get());
    }
    active_ = book;
    if (book) {
        std::erase(order_, book);
        order_.insert(order_.begin(), book);
    }
    Notify();
    if (book) {
        ComPtr<Workbook> activated(book);
        Raise(office::WorkbookActivate, book);
        RaiseWindow(office::WindowActivate, book);
    }
}

// A workbook just made: its window opens, then the event, then it becomes the active one.
HRESULT Application::Opened(const ComPtr<Workbook>& book, DISPID event) {
    RETURN_IF_NULL_ALLOC(book->Window());
    workbooks_.push_back(book);
    order_.push_back(book.Get());
    if (WindowOpened) WindowOpened(*book->Window());
    Notify();
    Raise(event, book.Get());
    MakeActive(book.Get());
    return S_OK;
}

HRESULT Application::AddWorkbook(ComPtr<Workbook>* added) {
    std::wstring name;
    do {
        name = L"Book" + std::to_wstring(nextBook_++);
    } while (Find(name));
    auto book = com::Make<Workbook>(this, name, L"");
    RETURN_IF_NULL_ALLOC(book);
    RETURN_IF_FAILED(Opened(book, office::NewWorkbook));
    if (added) *added = book;
    return S_OK;
}

HRESULT Application::OpenWorkbook(const std::wstring& file, ComPtr<Workbook>* opened, std::wstring* error) {
    const std::wstring full = FullPath(file);
    if (full.empty() || !FileSystem().FileExists(full))
        return Fail(error, L"Sorry, we couldn't find " + file + L". Is it possible it was moved, renamed or deleted?");
    for (const auto& book : workbooks_) {
        if (SameText(book->Path(), full)) {  // already open: it is activated
            MakeActive(book.Get());
            if (opened) *opened = book;
            return S_OK;
        }
    }
    const std::wstring name = FileName(full);
    if (Find(name)) {
        return Fail(error, L"A document with the name '" + name +
                               L"' is already open. You cannot open two documents with the same name, even if the "
                               L"documents are in different folders.");
    }
    auto book = com::Make<Workbook>(this, name, full);
    RETURN_IF_NULL_ALLOC(book);
    RETURN_IF_FAILED(Opened(book, office::WorkbookOpen));
    if (opened) *opened = book;
    return S_OK;
}

HRESULT Application::ActivateWorkbook(Workbook* book) {
    MakeActive(book);
    return S_OK;
}

HRESULT Application::CloseWorkbook(Workbook* book, std::optional<bool> saveChanges, std::wstring* error) {
    ComPtr<Workbook> keep(book);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT cancelArg;
    cancelArg.vt = VT_BOOL | VT_BYREF;
    cancelArg.pboolVal = &cancel;
    Raise(office::WorkbookBeforeClose, book, &cancelArg);
    if (cancel != VARIANT_FALSE) return S_OK;

    bool save = saveChanges.value_or(false);
    // The application's modal dialogs: the active control's modeless windows wait meanwhile.
    const auto modal = [this](auto&& show) {
        if (ModelessEnabled) ModelessEnabled(false);
        const auto result = show();
        if (ModelessEnabled) ModelessEnabled(true);
        return result;
    };
    if (!saveChanges && !book->Saved()) {
        const std::wstring question = L"Want to save your changes to '" + book->Name() + L"'?";
        const int answer =
            modal([&] { return ::MessageBoxW(owner_, question.c_str(), kTitle, MB_YESNOCANCEL | MB_ICONWARNING); });
        if (answer == IDCANCEL) return S_OK;
        save = answer == IDYES;
    }
    if (save && !book->Saved()) {
        std::wstring file = book->Path();
        if (file.empty()) {
            wchar_t chosen[MAX_PATH] = {};
            ::lstrcpynW(chosen, (book->Name() + L".xlsx").c_str(), MAX_PATH);
            OPENFILENAMEW dialog{sizeof(dialog)};
            dialog.hwndOwner = owner_;
            dialog.lpstrFilter = L"Excel Workbook (*.xlsx)\0*.xlsx\0All files\0*.*\0";
            dialog.lpstrFile = chosen;
            dialog.nMaxFile = MAX_PATH;
            dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
            if (!modal([&] { return ::GetSaveFileNameW(&dialog); })) return S_OK;  // cancelled: it stays open
            file = chosen;
        }
        RETURN_IF_FAILED(book->SaveAs(file, error));
    }

    if (std::none_of(workbooks_.begin(), workbooks_.end(), [book](const auto& b) { return b.Get() == book; }))
        return S_OK;  // closed meanwhile by a handler
    const bool wasActive = active_ == book;
    if (wasActive) {
        RaiseWindow(office::WindowDeactivate, book);
        Raise(office::WorkbookDeactivate, book);
        active_ = nullptr;
    }
    ComPtr<WorkbookWindow> window(book->Window());
    std::erase_if(workbooks_, [book](const ComPtr<Workbook>& b) { return b.Get() == book; });
    std::erase(order_, book);
    book->Detach();
    if (window && WindowClosed) WindowClosed(*window.Get());
    Notify();
    // The window behind it comes to the front.
    if (wasActive && !active_ && !order_.empty()) MakeActive(order_.front());
    return S_OK;
}

bool Application::CloseAll() {
    while (!workbooks_.empty()) {
        Workbook* book = workbooks_.back().Get();
        std::wstring error;
        if (FAILED(CloseWorkbook(book, std::nullopt, &error))) return false;
        if (!workbooks_.empty() && workbooks_.back().Get() == book) return false;  // the user cancelled
    }
    return true;
}

HRESULT Application::Quit() {
    if (CloseAll() && QuitRequested) QuitRequested();
    return S_OK;
}

std::span<const Member> Application::Members() const {
    static const Member members[] = {{L"Workbooks", xl::Workbooks},        {L"Version", xl::Version},
                                     {L"Quit", xl::Quit},                  {L"ActiveWorkbook", xl::ActiveWorkbook},
                                     {L"ActiveSheet", xl::ActiveSheet},    {L"Name", xl::Name},
                                     {L"Windows", xl::Windows},            {L"ActiveWindow", xl::ActiveWindow},
                                     {L"Visible", xl::Visible}};
    return members;
}

HRESULT Application::SetVisible(bool visible) {
    if (visible_ == visible) return S_OK;
    visible_ = visible;
    if (VisibleChanged) VisibleChanged(visible);
    return S_OK;
}

HRESULT Application::Call(DISPID id, WORD, const CallArgs& args, VARIANT* result, std::wstring* error) {
    switch (id) {
        case xl::Workbooks: {
            auto books = com::Make<WorkbooksCollection>(this);
            RETURN_IF_NULL_ALLOC(books);
            if (!args.At(0)) return ReturnObject(result, books.Get());
            std::vector<Workbook*> list;
            for (const auto& book : workbooks_) list.push_back(book.Get());
            Workbook* found = nullptr;
            RETURN_IF_FAILED(ItemOf(list, args.At(0), &found, error));
            return ReturnObject(result, found);
        }
        case xl::Windows: {
            auto windows = com::Make<WindowsCollection>(this, nullptr);
            RETURN_IF_NULL_ALLOC(windows);
            if (!args.At(0)) return ReturnObject(result, windows.Get());
            return CollectionItem(windows.Get(), args.At(0), result, error);
        }
        case xl::ActiveWindow:
            return ReturnObject(result, ActiveWindow());
        case xl::Version:
            return ReturnString(result, version_);
        case xl::Name:
            return ReturnString(result, L"sheethost");
        case xl::ActiveWorkbook:
            return ReturnObject(result, active_);
        case xl::ActiveSheet:
            return ReturnObject(result, active_ ? active_->ActiveSheet() : nullptr);
        case xl::Quit:
            return Quit();
        case xl::Visible: {
            if (const VARIANT* value = args.PutValue()) {
                Variant converted;
                RETURN_IF_FAILED(::VariantChangeType(&converted, const_cast<VARIANT*>(value), 0, VT_BOOL));
                return SetVisible(converted.boolVal != VARIANT_FALSE);
            }
            return ReturnBool(result, visible_);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace cartulane::sheethost
