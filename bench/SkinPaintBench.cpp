// The skin's cost, measured in one run on a form with one control of every family:
//   repaint: the whole form (frame, background, every child) painted again, 100 times a
//            run, a skinned form against the same form unskinned beside it; median of 10
//            runs each, taking turns: 1,000 repaints each;
//   fade:    one fade of a push button to its hot image, from the mouse's arrival to its
//            last step: how many 15 ms steps came, and how many came late (a gap above
//            22.5 ms, a step missed).

#include "bench/BenchSupport.h"
#include "skin/MSkinner.h"
#include "tests/skin/SkinFixture.h"

#include <windows.h>

#include <cstdio>
#include <vector>

using namespace cartulane;
using namespace cartulane::bench;

namespace {

void Repaint(HWND form) {
    for (int i = 0; i < 100; ++i)
        ::RedrawWindow(form, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::GdiFlush();
}

LONG_PTR Number(HWND window, const wchar_t* name) { return reinterpret_cast<LONG_PTR>(::GetPropW(window, name)); }

}  // namespace

int main() {
    test::SkinForm plain, skinned;
    ::SetWindowPos(plain.form, nullptr, 500, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (skin::AttachSkin(skinned.form) != 1) return 1;
    test::PumpFor(100);

    const auto t = Medians({{[&] { Repaint(plain.form); }}, {[&] { Repaint(skinned.form); }}}, 10);
    std::printf("repaint, unskinned                       %8.3f ms\n", t[0] * 1e3 / 100);
    std::printf("repaint, skinned                         %8.3f ms   ratio %.2f (target <= 2.0)\n",
                t[1] * 1e3 / 100, t[1] / t[0]);

    // One fade: the mouse comes onto the button, the steps arrive as WM_TIMER messages.
    RECT r{};
    ::GetWindowRect(skinned.push, &r);
    ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    std::vector<double> steps;
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    ::SendMessageW(skinned.push, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    MSG msg;
    while (Number(skinned.push, L"TIMERID") != 0) {
        if (!::GetMessageW(&msg, nullptr, 0, 0)) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        if (msg.hwnd == skinned.push && msg.message == WM_TIMER) {
            ::QueryPerformanceCounter(&now);
            steps.push_back(double(now.QuadPart - start.QuadPart) * 1e3 / double(frequency.QuadPart));
        }
    }
    int late = 0;
    double longest = steps.empty() ? 0 : steps[0];
    for (size_t i = 1; i < steps.size(); ++i) {
        const double gap = steps[i] - steps[i - 1];
        if (gap > 22.5) ++late;
        if (gap > longest) longest = gap;
    }
    std::printf("fade: %zu steps (86 expected) in %.0f ms (%d x 15 ms = %d ms), %d late, longest gap %.1f ms\n",
                steps.size(), steps.empty() ? 0.0 : steps.back(), 86, 86 * 15, late, longest);
    ::SetCursorPos(5, 700);
    ::DestroyWindow(skinned.form);
    ::DestroyWindow(plain.form);
    return 0;
}
