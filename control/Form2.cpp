#include "control/Form2.h"

#include "control/Host.h"
#include "control/SharedValues.h"
#include "skin/MSkinner.h"

namespace cartulane::control {

namespace {
// Clear of IDOK and IDCANCEL, which Enter and Escape send to the form.
constexpr UINT kLabel1 = 101;
}  // namespace

Form2::Form2() : Form(L"", Border::None, 1335, 420, Placement::CentreOwner) {}

void Form2::CreateControls() {
    AddChild(L"Static", L"关闭工作簿", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, kLabel1, 240, 120, 1095, 255);
}

void Form2::Form_Load() { skin::AttachSkin(Hwnd()); }

// Placed each time it is shown, from the values of the last right-button release. They
// are in the control's coordinates, so the pop-up lands at that offset from the
// screen's corner.
void Form2::Form_Show() {
    const SharedValues& shared = Shared();
    Move(shared.BookTreeWidth / 5.0 + shared.PopupLeft, shared.BookTreeHeight / 1.2 + shared.PopupTop);
}

void Form2::OnCommand(UINT id, UINT code) {
    if (id == kLabel1 && code == STN_CLICKED) {
        Label1_Click();
    } else {
        Form::OnCommand(id, code);
    }
}

// With no workbook clicked yet, or one that is closed already, there is nothing to
// close; the pop-up goes away in any case.
void Form2::Label1_Click() {
    // Copied first: the application's calls raise events that may click another node.
    const ComPtr<IDispatch> application = Shared().CurrentApp;
    const std::wstring bookName = Shared().CurrentBookName;
    ComPtr<IDispatch> workbook;
    if (application && !bookName.empty() && SUCCEEDED(host::WorkbookByName(application.Get(), bookName, &workbook))) {
        host::Close(workbook.Get());
    }
    Unload();
}

}  // namespace cartulane::control
