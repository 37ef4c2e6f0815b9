#pragma once
// Drag and drop in the folder tree, with OLE's own drag loop. A node dragged out offers its
// item as the shell's own windows offer files (the shell's item list and CF_HDROP), so that
// the application opens a workbook dropped on it and a file manager copies it. The tree takes
// files dropped on its folders, from itself or from any other program.

#include "control/TreeView.h"
#include "runtime/ComObject.h"

#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

namespace cartulane::control {

// The files at paths (all in one folder), as the shell offers them to a drag or the clipboard:
// its item list and CF_HDROP. Empty when a path cannot be parsed.
ComPtr<IDataObject> FilesDataObject(const std::vector<std::wstring>& paths);

// Drags the item at path until the user drops it or gives up (Esc, or a drop where nothing
// takes it); returns once the drag is over. Whatever takes the drop does the work: the
// source deletes nothing. The item is offered for a copy or a move; copy is the default.
void DragItem(const std::wstring& path);

// What a drop on a folder of the tree asks for.
struct FolderDrop {
    std::vector<std::wstring> paths;  // the items dropped
    std::wstring folder;              // the key of the folder's node
    bool move = false;
};

// The folder tree's drop target. While something is dragged over the tree it highlights
// the folder under the pointer, scrolls the tree near its top and bottom edges, and opens
// a folder hovered for a moment. It chooses the effect as a file manager does: an item of
// the tree dragged within a drive moves, to another drive copies; files from another
// program are copied; Ctrl copies and Shift moves. A folder the items are in, or one of
// their own, takes no drop.
//
// Its calls may come from another program's drag loop: what a drop asks for and a
// hovered folder's opening are posted to the window given, whose procedure passes the
// message to RunPosted once the call has returned.
class FolderDropTarget final : public com::ComObject<FolderDropTarget, IDropTarget> {
public:
    FolderDropTarget(TreeView& tree, HWND post);
    static const QITAB* Interfaces();
    // The message the target posts.
    static UINT PostedMessage();

    // The tree's window takes drops; false when OLE is not ready on this thread.
    bool Register();
    // Before the tree's window goes: no drop is taken any more, and nothing posted is run.
    void Revoke();
    void RunPosted();

    // Asked as the pointer enters the tree: false while the tree takes no drop.
    std::function<bool()> Accepting;
    // A drop to do.
    std::function<void(FolderDrop drop)> Dropped;
    // A folder hovered long enough is opened, as the user would open it.
    std::function<void(const std::wstring& key)> OpenFolder;

    // IDropTarget
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL at, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

private:
    // The folder node under a point of the screen that the items may be dropped on.
    Node* FolderAt(POINTL at) const;
    DWORD EffectAt(DWORD keys, POINTL at, DWORD allowed, Node** folder) const;
    void ScrollAndHover(POINTL at, Node* folder);
    void Leave();

    TreeView* tree_;
    HWND post_;
    bool registered_ = false;
    // The drag now over the tree.
    std::vector<std::wstring> paths_;
    bool own_ = false;       // started by a folder tree of this thread
    bool accepting_ = false;
    std::wstring hovered_;   // the folder under the pointer, and since when
    ULONGLONG hoveredSince_ = 0;
    ULONGLONG lastScroll_ = 0;
    // What is posted.
    std::vector<FolderDrop> drops_;
    std::wstring open_;
};

}  // namespace cartulane::control
