#pragma once
// The control in a sheethost pane with a fresh folder of the test drive T: to work on, and
// what the tests of its file commands do as a user would: choose the root, press a button,
// select a node, type a key, right-click, and wait for a paste, move or delete to end.

#include "tests/support/PaneFixture.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace cartulane::test {

class FolderPaneFixture : public PaneFixture {
protected:
    void SetUp() override {
        PaneFixture::SetUp();
        dir_ = std::make_unique<TempDir>(L"T:\\");
    }
    void TearDown() override {
        host_.PumpMessages();
        dir_.reset();
    }
    std::wstring Path(const std::wstring& relative) const { return *dir_ / relative; }
    void Folder(const std::wstring& relative) { MakeFolder(Path(relative)); }
    void File(const std::wstring& relative, std::string_view content = "x") { MakeFile(Path(relative), content); }

    // The folder becomes the tree's root through 换目录 and the shell's folder browser.
    void UseRoot(const std::wstring& folder) {
        FolderBrowserAnswer answer(folder);
        Press(L"换目录");
        ASSERT_EQ(answer.Shown(), 1);
        ASSERT_EQ(ItemText(folderTree_, TreeView_GetRoot(folderTree_)), folder.substr(folder.rfind(L'\\') + 1));
    }
    void Press(const wchar_t* caption) {
        ::SendMessageW(Child(caption), BM_CLICK, 0, 0);
        host_.PumpMessages();
        AwaitFileWork();
    }
    // A paste or delete runs on a thread of its own, with the commands that change the disk
    // disabled until its result is told: done once 粘贴 (of the pane's control) is enabled.
    void AwaitFileWork(HWND control = nullptr) {
        HWND paste = ::FindWindowExW(control ? control : control_, nullptr, L"Button", L"粘贴");
        ASSERT_TRUE(Until([&] { return ::IsWindowEnabled(paste); }));
    }
    // The node at a path of texts below the root; the root itself for none.
    HTREEITEM Item(std::initializer_list<std::wstring> texts) {
        HTREEITEM item = TreeView_GetRoot(folderTree_);
        for (const std::wstring& text : texts) {
            if (!item) return nullptr;
            TreeView_Expand(folderTree_, item, TVE_EXPAND);
            item = FindItem(folderTree_, item, text);
        }
        return item;
    }
    void Select(std::initializer_list<std::wstring> texts) {
        HTREEITEM item = Item(texts);
        ASSERT_NE(item, nullptr);
        TreeView_SelectItem(folderTree_, item);
    }
    // Another pane on the same thread (as in another workbook's window): its control's window.
    HWND SecondPane() {
        sheethost::TaskPane* pane = nullptr;
        EXPECT_HRESULT_SUCCEEDED(host_.AddPane(L"Quillet.TestControl", L"第二", 245, &pane));
        return ControlWindow(pane);
    }
    // Serves the host's messages until done holds or a generous limit has passed.
    bool Until(const std::function<bool()>& done) {
        return ServeUntil(done, [this] { host_.PumpMessages(); });
    }
    // Serves the host's messages for a while: time for the pane's timer to look.
    void Serve(std::chrono::milliseconds time) {
        ServeFor(time, [this] { host_.PumpMessages(); });
    }
    std::wstring SelectedText() {
        HTREEITEM item = TreeView_GetSelection(folderTree_);
        return item ? ItemText(folderTree_, item) : L"<none>";
    }
    // A key as the user types it, through the host's message loop.
    void Key(UINT key, bool ctrl = false, bool shift = false) {
        BYTE keys[256];
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        ::SetKeyboardState(keys);
        ::PostMessageW(::GetFocus(), key == VK_F10 ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1);
        ::PostMessageW(::GetFocus(), key == VK_F10 ? WM_SYSKEYUP : WM_KEYUP, key, 0xC0000001);
        host_.PumpMessages();
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        ::SetKeyboardState(keys);
        AwaitFileWork();
    }
    std::vector<std::wstring> Texts(const MessageBoxes& boxes) {
        std::vector<std::wstring> texts;
        for (const auto& box : boxes.Seen()) texts.push_back(box.text);
        return texts;
    }
    void Connect() { ASSERT_HRESULT_SUCCEEDED(Control()->put_Application(&host_.App())); }
    // The right button on a node, as the user presses it (the tree tracks the button).
    void RightClick(std::initializer_list<std::wstring> texts) {
        HTREEITEM item = Item(texts);
        ASSERT_NE(item, nullptr);
        RECT r{};
        TreeView_GetItemRect(folderTree_, item, &r, TRUE);
        const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        POINT screen = at;
        ::ClientToScreen(folderTree_, &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::PostMessageW(folderTree_, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        ::SendMessageW(folderTree_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
        host_.PumpMessages();
        AwaitFileWork();
    }

    std::unique_ptr<TempDir> dir_;
};

}  // namespace cartulane::test
