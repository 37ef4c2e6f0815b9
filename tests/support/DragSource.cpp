// A process of its own that drags files as a file manager does, for the tests of what the
// folder tree takes from other programs:
//   dragsource X Y KEY FILE...
// It shows a small window of its own, presses the left button on it with the real pointer,
// and drags FILE... (all in one folder) with OLE's drag loop, offering copy and move. Its
// hand moves the pointer to the screen point X,Y and waits there until the target under it
// has answered a few times; KEY ("shift", "ctrl" or "none") is then held down while the
// button is released. The exit code is the effect DoDragDrop returned (DROPEFFECT_*), or
// 100 and more when the drag could not be made.

#include "control/FolderDrag.h"
#include "runtime/ComObject.h"
#include "tests/support/Probes.h"

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace cartulane;

// Counts the target's answers: each GiveFeedback follows a DragEnter or DragOver.
class Source final : public com::ComObject<Source, IDropSource> {
public:
    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(Source, IDropSource), {}};
        return table;
    }
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD effect) override {
        ++answers;
        lastEffect = effect;
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }
    std::atomic<int> answers{0};
    std::atomic<DWORD> lastEffect{DROPEFFECT_NONE};
};

LRESULT CALLBACK Plain(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) return 100;
    const POINT target{_wtoi(argv[1]), _wtoi(argv[2])};
    const std::wstring key = argv[3];
    const WORD held = key == L"shift" ? VK_SHIFT : key == L"ctrl" ? VK_CONTROL : 0;
    std::vector<std::wstring> files(argv + 4, argv + argc);
    if (FAILED(::OleInitialize(nullptr))) return 101;
    ComPtr<IDataObject> data = control::FilesDataObject(files);
    ComPtr<Source> source = com::Make<Source>();
    if (!data || !source) return 102;

    // Its window in the screen's lower right corner, away from the application's.
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Plain;
    windowClass.lpszClassName = L"CartulaneDragSource";
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    ::RegisterClassW(&windowClass);
    const POINT start{::GetSystemMetrics(SM_CXSCREEN) - 60, ::GetSystemMetrics(SM_CYSCREEN) - 60};
    HWND window = ::CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"dragsource", WS_POPUP | WS_VISIBLE,
                                    start.x - 40, start.y - 40, 80, 80, nullptr, nullptr, nullptr, nullptr);
    if (!window) return 103;
    test::PointerTo(start, MOUSEEVENTF_LEFTDOWN);
    // The press reaches this thread's window before the drag starts: OLE reads the button's
    // state from this thread's input.
    for (ULONGLONG until = ::GetTickCount64() + 20000; ::GetKeyState(VK_LBUTTON) >= 0;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        if (::GetTickCount64() > until) return 104;
        ::Sleep(10);
    }

    std::thread hand([&] {
        test::SlidePointer(start, target);
        // A few answers of the target where the drop is to be, then the key, and the
        // target's answer with the key down.
        const ULONGLONG until = ::GetTickCount64() + 20000;
        const int seen = source->answers;
        while (source->answers < seen + 5 && ::GetTickCount64() < until) {
            test::PointerTo(target);
            ::Sleep(50);
        }
        if (held) test::PressKey(held, true);
        const int keyed = source->answers;
        while (source->answers < keyed + 3 && ::GetTickCount64() < until) {
            test::PointerTo(target);
            ::Sleep(50);
        }
        test::PointerTo(target, MOUSEEVENTF_LEFTUP);
        ::Sleep(200);
        if (held) test::PressKey(held, false);
    });
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT hr = ::DoDragDrop(data.Get(), source.Get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    hand.join();
    ::DestroyWindow(window);
    // The shell's data object lives in OLE's libraries: let go of it before they go.
    data.Reset();
    source.Reset();
    ::OleUninitialize();
    return hr == DRAGDROP_S_DROP || hr == DRAGDROP_S_CANCEL ? static_cast<int>(effect) : 105;
}
