#pragma once
// TestControl: the task pane's user control. Seven command buttons over the folder
// tree, a splitter, the caption of the workbook tree and the workbook tree, laid out
// on every resize; its public interface is _TestControl. The file commands and the
// folder tree's own interaction are in FileCommands.cpp.

#include "Tabrix_h.h"
#include "control/FileJob.h"
#include "control/FolderDrag.h"
#include "control/FolderFollow.h"
#include "control/ProgressForm.h"
#include "control/TreeView.h"
#include "runtime/ActiveXControl.h"
#include "runtime/ComServer.h"
#include "runtime/FileSystem.h"
#include "runtime/Form.h"

#include <array>
#include <memory>

namespace cartulane::control {

class TestControl final : public com::ComObject<TestControl, ActiveXControl, com::TypeLibDispatch<_TestControl>,
                                                 ISupportErrorInfo> {
public:
    TestControl();
    ~TestControl();
    static const QITAB* Interfaces();

    // _TestControl
    STDMETHODIMP put_Application(IDispatch* application) override;
    STDMETHODIMP get_Application(IDispatch** application) override;
    STDMETHODIMP FillTvw() override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    void OnCreate() override;
    LRESULT OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;
    void OnDestroy() override;
    bool KeepsKey(const MSG& message) override;
    void EnableModelessWindows(bool enable) override;
    int modelessDisabled_ = 0;  // EnableModeless(FALSE) calls not yet undone by TRUE

    HRESULT FillWorkbookTree();
    void UserControl_Resize();
    void TreeView1_NodeClick(Node& node);
    HRESULT TreeView1_MouseUp(int button, int shift, float x, float y);
    HRESULT Command7_Click();

    // The file commands.
    void Command1_Click();  // change the root folder
    void Command2_Click();  // new workbook file
    void Command3_Click();  // copy
    void Cut();             // Ctrl+X and the menu's 剪切: the next paste moves the item
    void Command4_Click();  // paste
    void Command5_Click();  // delete
    void Command6_Click();  // refresh
    // The folder tree's own interaction.
    void TreeView2_DblClick();
    void TreeView2_Expand(Node& node);
    void TreeView2_BeforeLabelEdit(short& cancel);
    void TreeView2_AfterLabelEdit(short& cancel, std::wstring& newString);
    void TreeView2_KeyDown(int& keyCode, int shift);
    void TreeView2_ContextMenu(POINT screen);
    // Drag and drop: a node dragged out, files dropped on a folder, a folder hovered meanwhile.
    void TreeView2_BeginDrag(Node& node);
    void TreeView2_Drop(FolderDrop drop);
    void TreeView2_OpenHovered(const std::wstring& key);
    // A message box over the pane, titled "提示".
    int Message(const std::wstring& text, UINT style = MB_OK | MB_ICONINFORMATION);
    // After a refresh: selects and shows the node of the item at path, listing the
    // folders down to it; the node, or nullptr when the item is not in the tree.
    Node* Reveal(const std::wstring& path);
    Node* ListDownTo(const std::wstring& path);
    // Builds the folder tree anew, and follows the folders it lists.
    void BuildFolders();
    // The node of the item cut shows as cut (dimmed), and no other.
    void Remember(const Node& node, bool cut);  // the next paste's item, copied or cut
    void ShowCut();
    std::wstring cutShown_;  // the key of the node shown as cut
    // A paste, move or delete runs on a thread of its own; meanwhile the commands that change
    // the disk are disabled, and after half a second a progress form shows. Once it has ended
    // the result is told, the tree refreshed and the item shown.
    struct Transfer {
        std::wstring source;  // the item pasted or moved
        std::wstring name;    // the name it takes in the folder
    };
    struct Running {
        enum class Kind { Paste, Move, Delete } kind = Kind::Paste;
        std::wstring item;             // the first pasted item's destination, or the deleted item
        std::vector<Transfer> items;   // what is pasted or moved
        std::wstring into;             // the folder pasted into, with its backslash
        std::vector<std::wstring> held;  // items no folder watch holds open meanwhile
        // Set by the job's checks: the destinations where an item of that name is, or the
        // name two of the items have.
        std::shared_ptr<std::vector<std::wstring>> existing;
        std::wstring revealDone;       // shown once it succeeded
        std::wstring revealStopped;    // shown once it failed or was cancelled
        std::wstring Verb() const;     // in its messages: 粘贴, 移动 or 删除
    };
    void StartJob(Running running, FileJob::Work work);
    // The paste's thread: its checks for every item, then the copies or moves (replacing only
    // when replace is true). Into is a folder, with its backslash.
    void StartTransfer(std::vector<Transfer> items, const std::wstring& into, bool move, bool replace);
    // What no folder watch held while the job ran is followed again.
    void TakeUpHeld(const Running& running);
    bool OnJobMessage(UINT message, WPARAM wParam);  // true for the job's own
    void JobTick();
    void JobDone();
    // Stops a paste or delete still running and waits for it: the control is going.
    void StopJob();
    void TellJobResult(const Running& running, const FileJob::Status& status, HRESULT hr, bool cancelled);
    void EnableDiskCommands(bool enabled);
    void Image1_MouseDown(int button, int shift, float x, float y);
    HRESULT Image1_MouseMove(int button, int shift, float x, float y);
    // The splitter has no window: the control routes the mouse to it.
    bool RouteMouseToImage1(UINT message, WPARAM wParam, LPARAM lParam);

    ComPtr<IDispatch> Application;
    FileSystem FileSys;
    std::unique_ptr<FileJob> job_;
    Running running_;
    std::unique_ptr<ProgressForm> progress_;
    float SplitY = 0;
    bool splitterCaptured_ = false;
    Dpi dpi_;
    UniqueFont font_;
    UniqueImageList ImageList1;

    std::array<FormControl, 7> commands_;  // Command1 to Command7
    FormControl& Command1 = commands_[0];
    TreeView TreeView1;
    TreeView TreeView2;
    FolderFollow follow_{TreeView2};  // the folder tree follows the disk
    ComPtr<FolderDropTarget> dropTarget_;
    FormControl Image1{0, 4560, 3615, 105};
    FormControl Label1{0, 4800, 3615, 255};
};

}  // namespace cartulane::control
