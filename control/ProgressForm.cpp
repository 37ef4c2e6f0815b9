#include "control/ProgressForm.h"

#include "skin/MSkinner.h"

#include <commctrl.h>

namespace cartulane::control {

namespace {
// Clear of IDOK and IDCANCEL, which Enter and Escape send to the form.
constexpr UINT kCancelButton = 101;
}  // namespace

ProgressForm::ProgressForm(std::wstring caption, std::wstring doing)
    : Form(std::move(caption), Border::FixedSingle, 5640, 1815, Placement::CentreOwner), doing_(std::move(doing)) {}

void ProgressForm::CreateControls() {
    current_ = AddChild(L"Static", doing_.c_str(), SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 0, 240, 180, 5160, 255);
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&classes);
    bar_ = AddChild(PROGRESS_CLASSW, L"", 0, 0, 240, 540, 5160, 300);
    count_ = AddChild(L"Static", L"", SS_LEFT | SS_NOPREFIX, 0, 240, 1020, 3600, 255);
    cancel_ = AddChild(L"Button", L"取消", BS_PUSHBUTTON | WS_TABSTOP, kCancelButton, 4200, 1200, 1200, 375);
}

void ProgressForm::Form_Load() { skin::AttachSkin(Hwnd()); }

void ProgressForm::Update(size_t done, size_t total, const std::wstring& current) {
    if (!Loaded()) return;
    const std::wstring doing = doing_ + current;
    ::SetWindowTextW(current_, doing.c_str());
    ::SendMessageW(bar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(total ? total : 1));
    ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    const std::wstring count = cancelling_ ? L"正在取消……"
                                           : L"已完成 " + std::to_wstring(done) + L" 项，共 " + std::to_wstring(total) + L" 项";
    ::SetWindowTextW(count_, count.c_str());
}

bool ProgressForm::Form_QueryUnload() {
    RequestCancel();
    return false;
}

void ProgressForm::OnCommand(UINT id, UINT code) {
    if (id == kCancelButton && code == BN_CLICKED) {
        RequestCancel();
    } else {
        Form::OnCommand(id, code);
    }
}

void ProgressForm::RequestCancel() {
    if (cancelling_) return;
    cancelling_ = true;
    ::EnableWindow(cancel_, FALSE);
    ::SetWindowTextW(count_, L"正在取消……");
    if (Cancel) Cancel();
}

}  // namespace cartulane::control
