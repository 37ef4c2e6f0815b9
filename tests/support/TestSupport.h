#pragma once
// What every test program shares: temporary folders on the real file system, a
// hidden parent window, and a message pump.

#include "runtime/Variant.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cartulane::test {

// A fresh folder under the user's temporary folder, deleted with everything in it.
class TempDir {
public:
    TempDir();
    explicit TempDir(std::wstring_view parent);  // a fresh folder inside parent
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(std::wstring_view name) const;

private:
    std::wstring path_;
};

void MakeFolder(const std::wstring& path);
void MakeFile(const std::wstring& path, std::string_view content = "x");
std::string ReadFile(const std::wstring& path);
// The volume and file identifier of what path leads to ({0, 0} when it cannot be opened): the
// same after a rename, another after a copy.
std::pair<DWORD, ULONGLONG> Identity(const std::wstring& path);

// A top-level window that is not shown, to parent controls under test. Its messages go to
// onMessage first; what that does not handle (returns false for) gets the default. A test
// that shows and hides it makes it a pop-up (WS_POPUP): Wine hides a framed top-level
// window only after waiting two seconds for a window manager, which Xvfb does not have.
class HiddenWindow {
public:
    using Handler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)>;
    explicit HiddenWindow(Handler onMessage = {}, DWORD style = WS_OVERLAPPEDWINDOW);
    ~HiddenWindow();
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND hwnd() const { return hwnd_; }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    Handler onMessage_;
    HWND hwnd_;
};

// Calls back for each dialog this thread activates (message boxes, the shell's dialogs,
// input boxes), so that a test can read it and answer as a user would. Every watcher
// alive is called; each answers the dialogs that are its own.
class DialogWatcher {
public:
    explicit DialogWatcher(std::function<void(HWND dialog)> onDialog);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    std::function<void(HWND)> onDialog_;
};

// Answers the message boxes this thread shows with one button (the first one when the box
// has not got it), and keeps what they said.
class MessageBoxes {
public:
    struct Shown {
        std::wstring title;
        std::wstring text;
        bool information = false;  // the information icon
        bool question = false;     // the question icon
        bool icon = false;         // any icon
        std::vector<int> buttons;  // IDOK, IDCANCEL, IDYES, IDNO, ...
    };
    explicit MessageBoxes(int answer = IDOK);
    void SetAnswer(int answer) { answer_ = answer; }
    const std::vector<Shown>& Seen() const { return seen_; }

private:
    void Answer(HWND box);
    int answer_;
    std::vector<Shown> seen_;
    DialogWatcher watcher_;
};

// Answers the shell's folder browser: chooses folder, or cancels when it is empty.
// The browser fills its tree as it likes: the answer asks for the folder again until the
// browser's tree shows it selected, and only then presses OK.
class FolderBrowserAnswer {
public:
    explicit FolderBrowserAnswer(std::wstring folder);
    ~FolderBrowserAnswer();
    int Shown() const { return shown_; }

private:
    static void CALLBACK Tick(HWND dialog, UINT, UINT_PTR, DWORD);
    void Answer(HWND dialog);
    std::wstring folder_;
    int shown_ = 0;
    ULONGLONG deadline_ = 0, nextAsk_ = 0;
    DialogWatcher watcher_;
};

// Answers the text-input dialog with this title: types the text and presses OK, or
// presses Cancel when cancel is set; keeps the prompt and the default text it showed.
class InputBoxAnswer {
public:
    InputBoxAnswer(std::wstring title, std::wstring typed, bool cancel = false);
    struct Shown {
        std::wstring prompt;
        std::wstring defaultText;
        bool defaultSelected = false;
    };
    const std::vector<Shown>& Seen() const { return seen_; }
    void Set(std::wstring typed, bool cancel = false) {
        typed_ = std::move(typed);
        cancel_ = cancel;
    }

private:
    void Answer(HWND dialog);
    std::wstring title_, typed_;
    bool cancel_;
    std::vector<Shown> seen_;
    DialogWatcher watcher_;
};

// Answers the pop-up menus this thread shows: keeps their items (text, greyed) and
// chooses the item with the given text with the keys, as a user would, or closes the
// menu when that text is empty. A menu's loop still runs the thread's timers.
class MenuAnswer {
public:
    explicit MenuAnswer(std::wstring choose);
    ~MenuAnswer();
    MenuAnswer(const MenuAnswer&) = delete;
    MenuAnswer& operator=(const MenuAnswer&) = delete;
    struct Item {
        std::wstring text;
        bool grayed = false;
        bool operator==(const Item&) const = default;
    };
    int Shown() const { return shown_; }
    const std::vector<Item>& Items() const { return items_; }  // of the last menu
    void Choose(std::wstring text) { choose_ = std::move(text); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Answer();
    std::wstring choose_;
    std::vector<Item> items_;
    int shown_ = 0;
    HWND current_ = nullptr;
    bool chosen_ = false;
    UINT_PTR timer_ = 0;
};

// Runs the steps in another process (diskchanger, next to the test program: mkdir PATH,
// file PATH, files FOLDER COUNT, ren FROM TO, del PATH, rmtree PATH) and waits for it,
// calling meanwhile every 20 ms when given; the number of steps that failed, or -1 when
// the process could not run.
int ChangeDisk(std::initializer_list<std::wstring> steps, const std::function<void()>& meanwhile = {});
// Runs a program of the tests' folder with each argument quoted and waits for it up to a
// minute, calling meanwhile every 20 ms when given; its exit code, or -1 when it did not run
// or end.
DWORD RunProgram(const wchar_t* program, const std::vector<std::wstring>& arguments,
                 const std::function<void()>& meanwhile = {});

// An automation object of the system, by ProgID; empty when it cannot be made.
ComPtr<IDispatch> CreateByProgId(const wchar_t* progId);

// Dispatches what is queued for this thread.
void PumpMessages();
// Calls serve (dispatching messages), with a short sleep between calls, until done holds or
// a generous limit has passed; whether done held.
bool ServeUntil(const std::function<bool()>& done, const std::function<void()>& serve,
                std::chrono::milliseconds limit = std::chrono::seconds(20));
// Calls serve, with a short sleep between calls, for a while.
void ServeFor(std::chrono::milliseconds time, const std::function<void()>& serve);

// Every window below parent, children before their own children, as EnumChildWindows
// walks them.
std::vector<HWND> DescendantWindows(HWND parent);

std::string Narrow(std::wstring_view text);

// Every file and folder below folder with its content (folders as "<folder>"), in a fixed
// order: what a test compares to see that nothing on disk changed.
std::vector<std::pair<std::wstring, std::string>> Snapshot(const std::wstring& folder);

}  // namespace cartulane::test
