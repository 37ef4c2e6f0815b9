#include "control/Form3.h"

#include "control/FolderTree.h"
#include "control/SavePath.h"
#include "control/SharedValues.h"

namespace cartulane::control {

namespace {
// Clear of IDOK and IDCANCEL, which Enter and Escape send to the form.
constexpr UINT kLabel1 = 101;
}  // namespace

Form3::Form3() : Form(L"", Border::None, 1155, 375, Placement::CentreOwner) {}

void Form3::CreateControls() {
    AddChild(L"Static", L"更改根目录", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, kLabel1, 90, 105, 1095, 255);
}

void Form3::Form_Load() {
    Hide();
    Label1_Click();
}

void Form3::OnCommand(UINT id, UINT code) {
    if (id == kLabel1 && code == STN_CLICKED) {
        Label1_Click();
    } else {
        Form::OnCommand(id, code);
    }
}

void Form3::Label1_Click() {
    SharedValues& shared = Shared();
    shared.PickedFolder = BrowseForFolder(Hwnd(), L"选择文件夹");
    shared.RootPath = shared.PickedFolder.empty() ? DefaultRootPath() : shared.PickedFolder;
}

}  // namespace cartulane::control
