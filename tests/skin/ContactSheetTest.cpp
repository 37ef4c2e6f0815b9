// The contact sheet of the skin, for people to look at: the five images, then the button
// faces, check boxes, option buttons, combo buttons and header items in every state,
// enlarged four times into build/<arch>/skin-contact-sheet.png.

#include "skin/MSkinner.h"
#include "skin/Painters.h"
#include "skin/SkinState.h"
#include "runtime/Handles.h"
#include "runtime/Twips.h"
#include "tests/skin/SkinFixture.h"
#include "tests/support/Probes.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace cartulane {
namespace {

using namespace skin;
using test::ReadPng;
using test::SavePng;
using test::SkinForm;

constexpr int kScale = 4, kWidth = 460, kHeight = 124;

SIZE ImageSize(HDC dc) {
    BITMAP bitmap{};
    ::GetObjectW(::GetCurrentObject(dc, OBJ_BITMAP), sizeof(bitmap), &bitmap);
    return SIZE{bitmap.bmWidth, bitmap.bmHeight};
}

// Copies w x h at (x, y) of a window's whole-window context to the sheet at (left, top).
void FromWindow(HDC sheet, int left, int top, HWND window, int x, int y, int w, int h) {
    const WindowDC dc(window, WindowDC::Whole);
    ::BitBlt(sheet, left, top, w, h, dc.get(), x, y, SRCCOPY);
}

TEST(ContactSheet, EveryImageAndEveryPainterInEveryStateIsKeptAsAPngInTheBuildFolder) {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    SkinForm f;
    ASSERT_EQ(AttachSkin(f.form), 1);
    const SkinImages& images = Skin().Images;
    const MemoryDC sheet = CreateMemoryDC(kWidth, kHeight);
    ASSERT_TRUE(sheet);
    FillSolidRect(sheet.get(), 0, 0, kWidth, kHeight, 0xF0F0F0);

    // The five images, side by side.
    int left = 0;
    for (const MemoryDC* image : {&images.ButtonSkinDC, &images.ComboSkinDC, &images.GlyphSkinDC,
                                  &images.OptionSkinDC, &images.HeaderSkinDC}) {
        const SIZE size = ImageSize(image->get());
        ::BitBlt(sheet.get(), left, 0, size.cx, size.cy, image->get(), 0, 0, SRCCOPY);
        left += size.cx + 2;
    }
    EXPECT_EQ(left - 2, 70);

    // Push-button faces: normal, hot, pressed, disabled.
    ::SetWindowPos(f.push, nullptr, 0, 0, 80, 24, SWP_NOMOVE | SWP_NOZORDER);
    for (int n = 0; n < 4; ++n) {
        const auto face = reinterpret_cast<HDC>(::GetPropW(f.push, (L"HDC" + std::to_wstring(n)).c_str()));
        ::BitBlt(sheet.get(), 80 + n * 90, 0, 80, 24, face, 0, 0, SRCCOPY);
    }

    // Check boxes: unchecked, checked, indeterminate; each normal, hot, pressed and disabled.
    const int cw = ::GetSystemMetrics(SM_CXMENUCHECK), ch = ::GetSystemMetrics(SM_CYMENUCHECK);
    RECT r{};
    ::GetWindowRect(f.thunderCheck, &r);
    const int checkTop = RoundHalfEven((r.bottom - r.top - ch) / 2.0);
    ::SetWindowLongPtrW(f.thunderCheck, GWL_STYLE,
                        (::GetWindowLongPtrW(f.thunderCheck, GWL_STYLE) & ~LONG_PTR{BS_TYPEMASK}) | BS_AUTO3STATE);
    int cell = 0;
    for (const int check : {BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE}) {
        ::SendMessageW(f.thunderCheck, BM_SETCHECK, check, 0);
        for (int state = 0; state < 4; ++state) {
            ::EnableWindow(f.thunderCheck, state < 3);
            PaintCheckBox(f.thunderCheck, state < 3 ? Look(state) : Look::Normal, true);
            FromWindow(sheet.get(), 80 + cell++ * (cw + 4), 32, f.thunderCheck, 0, checkTop, cw, ch);
        }
    }
    ::EnableWindow(f.thunderCheck, TRUE);

    // Option buttons: unchecked and checked; each normal, hot, pressed and disabled.
    cell = 0;
    for (const int check : {BST_UNCHECKED, BST_CHECKED}) {
        ::SendMessageW(f.thunderOption, BM_SETCHECK, check, 0);
        for (int state = 0; state < 4; ++state) {
            ::EnableWindow(f.thunderOption, state < 3);
            PaintOptionButton(f.thunderOption, state < 3 ? Look(state) : Look::Normal, true);
            FromWindow(sheet.get(), 80 + cell++ * (cw + 4), 52, f.thunderOption, 0, checkTop, cw, ch);
        }
    }
    ::EnableWindow(f.thunderOption, TRUE);

    // Combo buttons: normal, hot, dropped down, disabled (its right end, frame left white).
    ::GetWindowRect(f.combo, &r);
    const int comboW = r.right - r.left, comboH = r.bottom - r.top, end = 30;
    for (int state = 0; state < 4; ++state) {
        const MemoryDC combo = CreateMemoryDC(comboW, comboH);
        FillSolidRect(combo.get(), 0, 0, comboW, comboH, 0xFFFFFF);
        FrameSolidRect(combo.get(), 0, 0, comboW, comboH, state == 3 ? 0xE9CFA4 : 0xD5A554);
        ::EnableWindow(f.combo, state < 3);
        Look painted = state < 3 ? Look(state) : Look::Normal;
        PaintComboButton(f.combo, combo.get(), painted, true);
        ::BitBlt(sheet.get(), 80 + state * (end + 6), 72, end, comboH, combo.get(), comboW - end, 0, SRCCOPY);
    }
    ::EnableWindow(f.combo, TRUE);

    // Header items: normal, hot, pressed.
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.cxy = 70;
    item.pszText = const_cast<wchar_t*>(L"名称");
    ::SendMessageW(f.header, HDM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ::GetWindowRect(f.header, &r);
    const int headerH = r.bottom - r.top;
    for (int state = 0; state < 3; ++state) {
        const MemoryDC header = CreateMemoryDC(r.right - r.left, headerH);
        PaintHeaderItem(f.header, header.get(), 0, Look(state));
        ::BitBlt(sheet.get(), 80 + state * 76, 100, 70, headerH, header.get(), 0, 0, SRCCOPY);
    }

    // Enlarged four times, as a PNG next to the test programs' folder.
    const MemoryDC large = CreateMemoryDC(kWidth * kScale, kHeight * kScale);
    ASSERT_TRUE(large);
    ::SetStretchBltMode(large.get(), COLORONCOLOR);
    ::StretchBlt(large.get(), 0, 0, kWidth * kScale, kHeight * kScale, sheet.get(), 0, 0, kWidth, kHeight, SRCCOPY);
    EXPECT_EQ(::GetPixel(large.get(), 3, 3), 0xF9E1BFu);  // the button image's corner
    const std::wstring path = test::LibraryPath(L"..\\skin-contact-sheet.png");
    ASSERT_HRESULT_SUCCEEDED(SavePng(large.get(), path));

    SIZE size{};
    COLORREF color = 0;
    const POINT probe{(80 + 90 + 40) * kScale + 1, 12 * kScale + 1};  // the hot face's middle
    ASSERT_HRESULT_SUCCEEDED(ReadPng(path, probe.x, probe.y, &size, &color));
    EXPECT_EQ(size.cx, kWidth * kScale);
    EXPECT_EQ(size.cy, kHeight * kScale);
    EXPECT_EQ(color, ::GetPixel(large.get(), probe.x, probe.y));

    ::DestroyWindow(f.form);
    ::CoUninitialize();
}

}  // namespace
}  // namespace cartulane
