// A form moved to a screen of another scale lays itself out again at that screen's DPI.

#include "runtime/Form.h"

#include <gtest/gtest.h>

namespace cartulane {
namespace {

class OneButtonForm final : public Form {
public:
    OneButtonForm() : Form(L"Form", Border::FixedSingle, 5085, 2115, Placement::CentreScreen) {}
    HWND button = nullptr;

private:
    void CreateControls() override { button = AddChild(L"Button", L"注册", BS_PUSHBUTTON, 101, 720, 600, 1455, 495); }
};

RECT ClientRectOf(HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LONG FontHeight(HWND window) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
}

TEST(Form, AMoveToAScreenOfAnotherScaleLaysTheFormOutAtItsDpi) {
    OneButtonForm form;
    form.Load();
    ASSERT_TRUE(form.Loaded());
    const int dpi = ScreenDpi().y;
    const RECT before = ClientRectOf(form.button);
    EXPECT_EQ(before.left, TwipsToPixels(720, dpi));
    EXPECT_EQ(before.right - before.left, TwipsToPixels(1455, dpi));
    const LONG fontBefore = FontHeight(form.button);

    const int scaled = dpi * 3 / 2;
    RECT suggested{40, 30, 40 + 600, 30 + 300};
    ::SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(scaled, scaled), reinterpret_cast<LPARAM>(&suggested));
    const RECT after = ClientRectOf(form.button);
    EXPECT_EQ(after.left, TwipsToPixels(720, scaled));
    EXPECT_EQ(after.top, TwipsToPixels(600, scaled));
    EXPECT_EQ(after.right - after.left, TwipsToPixels(1455, scaled));
    EXPECT_EQ(after.bottom - after.top, TwipsToPixels(495, scaled));
    EXPECT_NEAR(FontHeight(form.button), fontBefore * 3 / 2, 1);
    RECT window{};
    ::GetWindowRect(form.Hwnd(), &window);
    EXPECT_EQ(window.left, 40);
    EXPECT_EQ(window.right - window.left, 600);
    form.Unload();
}

}  // namespace
}  // namespace cartulane
