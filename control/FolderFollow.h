#pragma once
// FolderFollow: a pane's folder tree kept in line with the disk. It tells the watch which
// folders the tree lists and applies what the watch hands over, a few milliseconds per
// message on the window's thread. While the window is hidden it follows nothing; once the
// window is shown again the tree is brought up to date.

#include "control/FolderTree.h"
#include "control/FolderWatch.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace cartulane::control {

class FolderFollow {
public:
    // Follows with the process's watch service, or with the service given.
    explicit FolderFollow(TreeView& tree, std::shared_ptr<FolderWatchService> service = nullptr);
    FolderFollow(const FolderFollow&) = delete;
    FolderFollow& operator=(const FolderFollow&) = delete;

    ListedFolders& Listed() { return listed_; }
    FolderWatch& Watch() { return watch_; }
    // Follows for window: the watch's news and the follow's timers come as its messages.
    void Start(HWND window);
    // The window goes: nothing is followed any more.
    void Stop();
    // After the tree listed other folders (a build, an expand): the watch is told.
    void Tell();
    // For the window's procedure: true when the message was the follow's.
    bool OnMessage(UINT message, WPARAM wParam);
    // Before the caller deletes or renames folder (a node's key): no watch holds it open, and
    // none opens it until it is taken up again, once the delete or rename is over.
    void LetGo(const std::wstring& folder);
    void TakeUp(const std::wstring& folder);
    // Whether the watch follows the tree now (the window is shown).
    bool Following() const { return following_; }

    // Changes wait while this answers false (a label is edited, a dialog is up): what they
    // are about must stay where the user saw it.
    std::function<bool()> MayApply;

    // What one message spends applying changes, at most (and one step more).
    static constexpr std::chrono::milliseconds kBudget{8};

private:
    bool Shown() const;
    void Look();
    void Apply();

    TreeView& tree_;
    ListedFolders listed_;
    FolderWatch watch_;
    HWND window_ = nullptr;
    bool following_ = false;
    unsigned told_ = 0;
    unsigned toldBuilds_ = 0;
};

}  // namespace cartulane::control
