#include "runtime/InputBox.h"

#include "runtime/ComServer.h"
#include "runtime/Form.h"
#include "runtime/Window.h"

#include <vector>

namespace cartulane {

namespace {

constexpr UINT kPrompt = 100, kText = 101;

// The dialog's places in twips: the prompt and the buttons side by side, the edit box
// across the bottom, as the form runtime's input box has them.
constexpr double kWidth = 6120, kHeight = 1920;
struct Place {
    UINT id;
    double left, top, width, height;
};
constexpr Place kPlaces[] = {
    {kPrompt, 120, 120, 4560, 900},
    {IDOK, 4800, 120, 1200, 375},
    {IDCANCEL, 4800, 600, 1200, 375},
    {kText, 120, 1320, 5880, 330},
};

// A dialog template in memory: the items are made with no size and placed in twips when
// the dialog starts.
static_assert(sizeof(DLGTEMPLATE) % sizeof(WORD) == 0 && sizeof(DLGITEMTEMPLATE) % sizeof(WORD) == 0);
class Template {
public:
    explicit Template(const std::wstring& title) {
        Words(sizeof(DLGTEMPLATE) / sizeof(WORD));
        auto* header = reinterpret_cast<DLGTEMPLATE*>(words_.data());
        header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
        header->dwExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
        Words(2);  // no menu, the standard dialog class
        Text(title);
    }
    void Item(UINT id, WORD atom, DWORD style, const std::wstring& text) {
        if (words_.size() % 2) words_.push_back(0);  // items start on a DWORD
        const size_t at = words_.size();
        Words(sizeof(DLGITEMTEMPLATE) / sizeof(WORD));
        auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(words_.data() + at);
        item->style = WS_CHILD | WS_VISIBLE | style;
        item->id = static_cast<WORD>(id);
        words_.push_back(0xFFFF);
        words_.push_back(atom);
        Text(text);
        words_.push_back(0);  // no creation data
        ++reinterpret_cast<DLGTEMPLATE*>(words_.data())->cdit;
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Words(size_t count) { words_.resize(words_.size() + count, 0); }
    void Text(const std::wstring& text) {
        words_.insert(words_.end(), text.begin(), text.end());
        words_.push_back(0);
    }
    std::vector<WORD> words_;
};

struct State {
    const std::wstring* prompt;
    const std::wstring* defaultText;
    std::wstring typed;
    UniqueFont font;
};

void Layout(HWND dialog, HWND owner) {
    const Dpi dpi = ScreenDpi();
    RECT frame{0, 0, TwipsToPixels(kWidth, dpi.x), TwipsToPixels(kHeight, dpi.y)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (owner) ::GetWindowRect(owner, &area);
    ::SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Place& place : kPlaces) {
        ::SetWindowPos(::GetDlgItem(dialog, place.id), nullptr, TwipsToPixels(place.left, dpi.x),
                       TwipsToPixels(place.top, dpi.y), TwipsToPixels(place.width, dpi.x),
                       TwipsToPixels(place.height, dpi.y), SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    try {
        switch (message) {
            case WM_INITDIALOG: {
                state = reinterpret_cast<State*>(lParam);
                ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
                state->font = CreateFormFont();
                for (const Place& place : kPlaces)
                    ::SendDlgItemMessageW(dialog, place.id, WM_SETFONT, reinterpret_cast<WPARAM>(state->font.get()),
                                          FALSE);
                Layout(dialog, ::GetWindow(dialog, GW_OWNER));
                ::SetDlgItemTextW(dialog, kPrompt, state->prompt->c_str());
                HWND text = ::GetDlgItem(dialog, kText);
                ::SetWindowTextW(text, state->defaultText->c_str());
                ::SendMessageW(text, EM_SETSEL, 0, -1);
                ::SetFocus(text);
                return FALSE;  // the focus is set
            }
            case WM_COMMAND:
                if (LOWORD(wParam) == IDOK && state) {
                    HWND text = ::GetDlgItem(dialog, kText);
                    state->typed = WindowText(text);
                    ::EndDialog(dialog, IDOK);
                    return TRUE;
                }
                if (LOWORD(wParam) == IDCANCEL) {
                    ::EndDialog(dialog, IDCANCEL);
                    return TRUE;
                }
                return FALSE;
            default:
                return FALSE;
        }
    } catch (...) {
        ::EndDialog(dialog, IDCANCEL);  // out of memory: as if cancelled
        return TRUE;
    }
}

}  // namespace

std::wstring InputBox(HWND owner, const std::wstring& prompt, const std::wstring& title,
                      const std::wstring& defaultText) {
    Template dialog(title);
    dialog.Item(kPrompt, 0x0082, SS_LEFT | SS_NOPREFIX, L"");
    dialog.Item(IDOK, 0x0080, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, L"确定");
    dialog.Item(IDCANCEL, 0x0080, BS_PUSHBUTTON | WS_TABSTOP, L"取消");
    dialog.Item(kText, 0x0081, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, L"");
    State state{&prompt, &defaultText, {}, {}};
    const INT_PTR answer = ::DialogBoxIndirectParamW(com::ThisModule(), dialog.get(), owner, &DialogProc,
                                                     reinterpret_cast<LPARAM>(&state));
    return answer == IDOK ? state.typed : std::wstring();
}

}  // namespace cartulane
