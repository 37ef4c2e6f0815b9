#pragma once
// TestControl: the task pane's user control. Seven command buttons over the folder
// tree, a splitter, the caption of the workbook tree and the workbook tree, laid out
// on every resize; its public interface is _TestControl. The file commands and the
// folder tree's own interaction are in FileCommands.cpp.

#include "Tabrix_h.h"
#include "control/FileJob.h"
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
    // A message box over the pane, titled "提示".
    int Message(const std::wstring& text, UINT style = MB_OK | MB_ICONINFORMATION);
    // After a refresh: selects and shows the node of the item at path, listing the
    // folders down to it; the node, or nullptr when the item is not in the tree.
    Node* Reveal(const std::wstring& path);
    Node* ListDownTo(const std::wstring& path);
    // Builds the folder tree anew, and follows the folders it lists.
    void BuildFolders();
    // A paste or delete runs on a thread of its own; meanwhile the commands that change the
    // disk are disabled, and after half a second a progress form shows. Once it has ended
    // the result is told, the tree refreshed and the item shown.
    struct Running {
        enum class Kind { Paste, Delete } kind = Kind::Paste;
        std::wstring item;           // the pasted item's destination, or the deleted item
        std::wstring name;           // the copied item's name
        std::wstring source;         // the copied item
        std::wstring into;           // the folder pasted into, with its backslash
        std::wstring revealDone;     // shown once it succeeded
        std::wstring revealStopped;  // shown once it failed or was cancelled
    };
    void StartJob(Running running, FileJob::Work work);
    // The paste's thread: its checks, then the copy (replacing only when replace is true).
    void StartPaste(const std::wstring& source, const std::wstring& into, const std::wstring& name, bool replace);
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
    FormControl Image1{0, 4560, 3615, 105};
    FormControl Label1{0, 4800, 3615, 255};
};

}  // namespace cartulane::control
