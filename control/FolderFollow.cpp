#include "control/FolderFollow.h"

#include <optional>

namespace cartulane::control {

namespace {

// Whether the pane is shown, and changes that had to wait; a hidden pane starts following
// at the next look once it is shown.
constexpr UINT_PTR kLookTimer = 0xCA01;
constexpr UINT kLookPeriod = 500;
// More changes than one message applies go on after the input and paints waiting.
constexpr UINT_PTR kGoOnTimer = 0xCA02;
constexpr UINT kGoOnDelay = 10;

UINT NewsMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.FolderFollow.News");
    return message;
}

}  // namespace

FolderFollow::FolderFollow(TreeView& tree, std::shared_ptr<FolderWatchService> service)
    : tree_(tree), watch_(std::move(service)) {}

void FolderFollow::Start(HWND window) {
    window_ = window;
    watch_.SetNotify(window, NewsMessage());
    ::SetTimer(window, kLookTimer, kLookPeriod, nullptr);
}

void FolderFollow::Stop() {
    if (window_ && ::IsWindow(window_)) {
        ::KillTimer(window_, kLookTimer);
        ::KillTimer(window_, kGoOnTimer);
    }
    watch_.Stop();
    following_ = false;
    window_ = nullptr;
}

bool FolderFollow::Shown() const {
    return window_ && ::IsWindowVisible(window_) && !::IsIconic(::GetAncestor(window_, GA_ROOT));
}

void FolderFollow::Tell() {
    if (!window_ || !Shown()) return;  // the look that finds it shown tells
    if (listed_.Count() == 0) {
        watch_.Stop();
        following_ = false;
        return;
    }
    if (following_ && listed_.Version() == told_) return;
    // Followed anew, every folder is read once: what changed meanwhile comes with it. After
    // a rebuild, what the watch had for the tree is older than the tree.
    watch_.SetListed(listed_.RootPath(), listed_.Paths(), listed_.Builds() != toldBuilds_);
    following_ = true;
    told_ = listed_.Version();
    toldBuilds_ = listed_.Builds();
}

void FolderFollow::LetGo(const std::wstring& folder) {
    std::wstring path = folder;
    TrimPath(path);
    watch_.LetGo(path);
}

void FolderFollow::TakeUp(const std::wstring& folder) {
    std::wstring path = folder;
    TrimPath(path);
    watch_.TakeUp(path);
}

bool FolderFollow::OnMessage(UINT message, WPARAM wParam) {
    if (message == NewsMessage()) {
        Apply();
        return true;
    }
    if (message != WM_TIMER || (wParam != kLookTimer && wParam != kGoOnTimer)) return false;
    if (wParam == kGoOnTimer) {
        ::KillTimer(window_, kGoOnTimer);
        Apply();
    } else {
        Look();
    }
    return true;
}

void FolderFollow::Look() {
    if (!Shown()) {
        if (following_) watch_.Stop();  // the watches go, unless another pane has them
        following_ = false;
        return;
    }
    if (!following_) {
        Tell();
        return;
    }
    Apply();
}

// The changes waiting, oldest first, until the budget is spent; the rest goes on shortly.
void FolderFollow::Apply() {
    if (!following_ || (MayApply && !MayApply())) return;
    const auto deadline = std::chrono::steady_clock::now() + kBudget;
    bool more = false;
    {
        std::optional<TreeView::BulkUpdate> update;
        FolderChange change;
        while (watch_.Take(&change)) {
            if (!update) update.emplace(tree_);
            if (!ApplyFolderChange(tree_, listed_, change, deadline)) {
                watch_.PutBack(std::move(change));
                more = true;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                more = true;
                break;
            }
        }
    }
    Tell();
    if (more) ::SetTimer(window_, kGoOnTimer, kGoOnDelay, nullptr);
}

}  // namespace cartulane::control
