#include "sheethost/WorkbookView.h"

#include "runtime/ComObject.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>

namespace cartulane::sheethost {

namespace {

enum : UINT { kNew = 1, kOpen, kSaveAs, kClose, kNewSheet, kHide, kShow, kBooks = 20, kSheets };
constexpr const wchar_t* kCaptions[] = {L"New", L"Open...", L"Save As...", L"Close", L"New sheet", L"Hide sheet", L"Show sheets"};

int Scaled(HWND hwnd, int pixels) {
    WindowDC dc(hwnd);
    return ::MulDiv(pixels, ::GetDeviceCaps(dc.get(), LOGPIXELSY), 96);
}

}  // namespace

// Files dropped on the workbook area are opened, one after the other, inside the drop: the
// application's events for each come before the program that dragged them hears of the drop.
class WorkbookView::FileDrop final : public com::ComObject<FileDrop, IDropTarget> {
public:
    FileDrop(Application& app, HWND owner) : app_(app), owner_(owner) {}
    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(FileDrop, IDropTarget), {}};
        return table;
    }
    STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        FORMATETC files{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        files_ = data && data->QueryGetData(&files) == S_OK;
        *effect = files_ ? *effect & DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        *effect = files_ ? *effect & DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override {
        files_ = false;
        return S_OK;
    }
    STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        *effect &= DROPEFFECT_COPY;
        files_ = false;
        return Boundary([&] {
            for (const std::wstring& file : DroppedFiles(data)) {
                std::wstring error;
                if (FAILED(app_.OpenWorkbook(file, nullptr, &error)))
                    ::MessageBoxW(owner_, error.c_str(), L"sheethost", MB_OK | MB_ICONWARNING);
            }
            return S_OK;
        });
    }

private:
    Application& app_;
    HWND owner_;
    bool files_ = false;
};

WorkbookView::WorkbookView(Application& app, HWND parent, std::function<std::vector<Workbook*>()> books,
                           std::function<Workbook*()> current)
    : app_(app), books_of_(std::move(books)), current_(std::move(current)) {
    CreateWindowOf({L"SheetHostWorkbooks", COLOR_WINDOW}, WS_EX_CLIENTEDGE, L"",
                   WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, parent);
    HWND hwnd = Hwnd();
    HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    for (UINT i = 0; i < std::size(kCaptions); ++i) {
        buttons_[i] = ::CreateWindowExW(0, L"Button", kCaptions[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0,
                                        hwnd, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kNew + i)), nullptr, nullptr);
        ::SendMessageW(buttons_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    books_ = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, hwnd,
                               reinterpret_cast<HMENU>(kBooks), nullptr, nullptr);
    sheets_ = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_BOTTOM, 0, 0, 0,
                                0, hwnd, reinterpret_cast<HMENU>(kSheets), nullptr, nullptr);
    ::SendMessageW(books_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageW(sheets_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    drop_ = com::Make<FileDrop>(app_, parent);
    if (drop_ && FAILED(::RegisterDragDrop(hwnd, drop_.Get()))) drop_.Reset();
    Refresh();
}

WorkbookView::~WorkbookView() { Destroy(); }

std::vector<Sheet*> WorkbookView::ShownSheets() const {
    std::vector<Sheet*> shown;
    if (Workbook* book = current_())
        for (const auto& sheet : book->Sheets())
            if (sheet->Visible() == xl::SheetVisible) shown.push_back(sheet.Get());
    return shown;
}

void WorkbookView::Refresh() {
    if (!Hwnd()) return;
    refreshing_ = true;
    TabCtrl_DeleteAllItems(books_);
    int index = 0;
    Workbook* active = current_();
    for (Workbook* book : books_of_()) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(book->Name().c_str());
        TabCtrl_InsertItem(books_, index, &item);
        if (book == active) TabCtrl_SetCurSel(books_, index);
        ++index;
    }
    TabCtrl_DeleteAllItems(sheets_);
    index = 0;
    for (Sheet* sheet : ShownSheets()) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(sheet->Name().c_str());
        TabCtrl_InsertItem(sheets_, index, &item);
        if (active && sheet == active->ActiveSheet()) TabCtrl_SetCurSel(sheets_, index);
        ++index;
    }
    refreshing_ = false;
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void WorkbookView::Layout() {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int row = Scaled(Hwnd(), 28), tabs = Scaled(Hwnd(), 26), gap = Scaled(Hwnd(), 4);
    const int width = Scaled(Hwnd(), 84);
    // As many buttons in a row as fit, in more rows when the window is narrow.
    const int perRow = std::max(1, static_cast<int>((client.right - gap) / (width + gap)));
    int index = 0;
    for (HWND button : buttons_) {
        ::SetWindowPos(button, nullptr, gap + (index % perRow) * (width + gap), gap + (index / perRow) * row, width,
                       row - 2 * gap + 2, SWP_NOZORDER);
        ++index;
    }
    bar_ = row * ((index + perRow - 1) / perRow);
    ::SetWindowPos(books_, nullptr, 0, bar_, client.right, tabs, SWP_NOZORDER);
    ::SetWindowPos(sheets_, nullptr, 0, client.bottom - tabs, client.right, tabs, SWP_NOZORDER);
}

void WorkbookView::PaintGrid(HDC dc) {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int top = bar_ + Scaled(Hwnd(), 26), bottom = client.bottom - Scaled(Hwnd(), 26);
    if (!current_() || bottom <= top) return;
    const int cell = Scaled(Hwnd(), 20), column = Scaled(Hwnd(), 64), header = Scaled(Hwnd(), 32);
    UniquePen pen(::CreatePen(PS_SOLID, 1, RGB(0xD4, 0xD4, 0xD4)));
    SelectGuard selected(dc, pen.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0x60, 0x60, 0x60));
    for (int x = header, c = 0; x < client.right; x += column, ++c) {
        ::MoveToEx(dc, x, top, nullptr);
        ::LineTo(dc, x, bottom);
        const wchar_t letter[2] = {static_cast<wchar_t>(L'A' + c % 26), 0};
        RECT label{x, top, x + column, top + cell};
        ::DrawTextW(dc, letter, 1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    for (int y = top + cell, r = 1; y < bottom; y += cell, ++r) {
        ::MoveToEx(dc, 0, y, nullptr);
        ::LineTo(dc, client.right, y);
        const std::wstring number = std::to_wstring(r);
        RECT label{0, y, header, y + cell};
        ::DrawTextW(dc, number.c_str(), -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
}

void WorkbookView::OnCommand(UINT id) {
    // The common file dialog over the window, for a file name of up to MAX_PATH characters.
    auto FileDialog = [&](const wchar_t* filter, wchar_t* file) {
        OPENFILENAMEW dialog{sizeof(dialog)};
        dialog.hwndOwner = ::GetAncestor(Hwnd(), GA_ROOT);
        dialog.lpstrFilter = filter;
        dialog.lpstrFile = file;
        dialog.nMaxFile = MAX_PATH;
        return dialog;
    };
    std::wstring error;
    ComPtr<Workbook> active(current_());  // closing it may close this window too
    switch (id) {
        case kNew:
            app_.AddWorkbook(nullptr);
            break;
        case kOpen: {
            wchar_t file[MAX_PATH] = {};
            OPENFILENAMEW dialog = FileDialog(L"Excel files (*.xls*)\0*.xls*\0All files\0*.*\0", file);
            dialog.Flags = OFN_FILEMUSTEXIST;
            if (::GetOpenFileNameW(&dialog) && FAILED(app_.OpenWorkbook(file, nullptr, &error)))
                ::MessageBoxW(dialog.hwndOwner, error.c_str(), L"sheethost", MB_OK | MB_ICONWARNING);
            break;
        }
        case kSaveAs: {
            if (!active) break;
            wchar_t file[MAX_PATH] = {};
            OPENFILENAMEW dialog =
                FileDialog(L"Excel workbook (*.xlsx)\0*.xlsx\0Excel 97-2003 workbook (*.xls)\0*.xls\0", file);
            dialog.lpstrDefExt = L"xlsx";
            dialog.Flags = OFN_NOREADONLYRETURN | OFN_PATHMUSTEXIST;
            if (::GetSaveFileNameW(&dialog) && FAILED(active->SaveAs(file, &error)))
                ::MessageBoxW(dialog.hwndOwner, error.c_str(), L"sheethost", MB_OK | MB_ICONWARNING);
            break;
        }
        case kClose:
            if (active) app_.CloseWorkbook(active.Get(), std::nullopt, &error);
            break;
        case kNewSheet:
            if (active) active->AddSheet();
            break;
        case kHide:
            if (active && active->ActiveSheet() && FAILED(active->SetSheetVisible(active->ActiveSheet(), xl::SheetHidden, &error)))
                ::MessageBoxW(::GetAncestor(Hwnd(), GA_ROOT), error.c_str(), L"sheethost", MB_OK | MB_ICONWARNING);
            break;
        case kShow:
            if (active)
                for (const auto& sheet : active->Sheets()) active->SetSheetVisible(sheet.Get(), xl::SheetVisible, &error);
            break;
        default:
            break;
    }
}

LRESULT WorkbookView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            if (drop_) ::RevokeDragDrop(Hwnd());
            drop_.Reset();
            break;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_PAINT: {
            PaintGuard paint(Hwnd());
            PaintGrid(paint.get());
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (Clicked) Clicked();
            ::SetFocus(Hwnd());
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code != static_cast<UINT>(TCN_SELCHANGE) || refreshing_) break;
            const int chosen = TabCtrl_GetCurSel(header->hwndFrom);
            const auto books = books_of_();
            if (header->hwndFrom == books_ && chosen >= 0 && chosen < static_cast<int>(books.size())) {
                app_.ActivateWorkbook(books[chosen]);
            } else if (header->hwndFrom == sheets_) {
                const auto shown = ShownSheets();
                if (chosen >= 0 && chosen < static_cast<int>(shown.size())) current_()->SelectSheet(shown[chosen]);
            }
            return 0;
        }
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

}  // namespace cartulane::sheethost
