#include "control/Form1.h"

#include "skin/MSkinner.h"

namespace cartulane::control {

namespace {

constexpr UINT kCommand2 = 2;

struct Note {
    double top, height;
    const wchar_t* text;
};

// Label1, Label2, Label3, Label4, Label9, Label6, Label11, Label12, top to bottom.
constexpr Note kNotes[] = {
    {360, 375, L"1.换目录是指从弹出窗口中选择要显示的根目录；"},
    {720, 375, L"2.点击新建操作时，请先点击选择在新建Excel文件的所在目录文件夹；"},
    {1080, 375,
     L"3.点击复制操作时，请先点击要进行复制的文件或文件夹，提示复制成功后，再点击要粘贴新文件所在的文件夹，然后点击粘贴操作；"},
    {1680, 375, L"4.点击删除操作前，请先选择要删除的文件或文件夹；"},
    {2040, 375, L"5.点击刷新按键，程序将刷新显示目录；"},
    {2400, 615,
     L"6.文件或文件夹重命名：用鼠标左键先点击一下文件或文件夹名称，约2秒后再点击一下，此时会进入节点名称编辑状态，重新命名为你"
     L"想要的名称，回车或点击其他处，即可完成重命名操作；"},
    {3120, 375, L"7.双击即可打开Excel文件；"},
    {3480, 375, L"8.在“已打开Excel文件”窗口中，右击工作簿，选择关闭工作簿，即可关闭该工作簿；"},
};

constexpr double kFrameLeft = 360, kFrameTop = 240;

}  // namespace

Form1::Form1() : Form(L"帮助", Border::FixedSingle, 7350, 6270, Placement::CentreScreen) {}

void Form1::CreateControls() {
    AddChild(L"Button", L"说明", BS_GROUPBOX, 0, kFrameLeft, kFrameTop, 6615, 5295);
    bool first = true;
    for (const Note& note : kNotes) {
        AddChild(L"Static", note.text, SS_LEFT | SS_NOPREFIX, 0, kFrameLeft + 360, kFrameTop + note.top,
                 first ? 6015 : 5775, note.height);
        first = false;
    }
    AddChild(L"Button", L"关闭", BS_PUSHBUTTON | WS_TABSTOP, kCommand2, 6000, 5640, 975, 375);
}

void Form1::Form_Load() { skin::AttachSkin(Hwnd()); }

void Form1::OnCommand(UINT id, UINT code) {
    if (id == kCommand2 && code == BN_CLICKED) {
        Unload();
    } else {
        Form::OnCommand(id, code);
    }
}

}  // namespace cartulane::control
