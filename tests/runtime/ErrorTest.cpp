// The error vocabulary: a failed call never reads as success, and nothing thrown gets
// out of a COM method's or a window procedure's boundary.

#include "runtime/Error.h"
#include "runtime/Window.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace cartulane {
namespace {

TEST(LastErrorResult, IsTheCallsErrorAndNeverSuccess) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorResult(), E_ACCESSDENIED);
    ::SetLastError(ERROR_SUCCESS);  // a call that failed without saying why
    EXPECT_EQ(LastErrorResult(), E_FAIL);
    EXPECT_EQ(Win32Failure(ERROR_SUCCESS), E_FAIL);
    EXPECT_EQ(Win32Result(ERROR_SUCCESS), S_OK);

    test::TempDir dir;
    EXPECT_EQ(::CreateFileW((dir / L"missing.xls").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastErrorResult(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SystemMessage(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).empty(), false);
}

TEST(Boundary, TurnsWhatIsThrownIntoAFailure) {
    EXPECT_EQ(Boundary([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(Boundary([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(Boundary([]() -> HRESULT { throw std::runtime_error("broken"); }), E_UNEXPECTED);
}

TEST(ExcepInfo, CarriesTheFailureOfACallThroughIDispatch) {
    ExcepInfo info;
    EXPECT_EQ(FillExcepInfo(&info, E_ACCESSDENIED, L"来源", L"说明"), DISP_E_EXCEPTION);
    EXPECT_EQ(info.Code(), E_ACCESSDENIED);
    EXPECT_STREQ(info.bstrSource, L"来源");
    EXPECT_STREQ(info.bstrDescription, L"说明");
    info.Clear();
    info.wCode = 1004;  // an error by number only
    EXPECT_EQ(info.Code(), ControlError(1004));
    EXPECT_EQ(FillExcepInfo(nullptr, E_ACCESSDENIED, L"", L""), E_ACCESSDENIED);
}

// A window whose handler throws on one message and works on the others.
class Throwing final : public Window {
public:
    Throwing() { CreateWindowOf({L"CartulaneThrowingTest"}, 0, L"", WS_POPUP, 0, 0, 10, 10, nullptr); }
    int answered = 0;
    bool destroyed = false;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) throw std::runtime_error("broken");
        if (message == WM_APP + 1) return ++answered;
        return Default(message, wParam, lParam);
    }
    void OnDestroyed() override { destroyed = true; }
};

TEST(Window, AHandlerThatThrowsAnswersZeroAndTheWindowGoesOn) {
    Throwing window;
    ASSERT_NE(window.Hwnd(), nullptr);
    EXPECT_EQ(::SendMessageW(window.Hwnd(), WM_APP, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(window.Hwnd(), WM_APP + 1, 0, 0), 1);
    HWND hwnd = window.Hwnd();
    window.Destroy();
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(window.Hwnd(), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd));
}

// A subclass of a standard window whose handler throws for one message.
class ThrowingSubclass final : public Subclass {
public:
    explicit ThrowingSubclass(HWND hwnd) { Attach(hwnd); }
    bool detached = false;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) throw std::bad_alloc();
        return CallOriginal(message, wParam, lParam);
    }
    void OnDetached() override { detached = true; }
};

TEST(Subclass, StandsInFrontUntilTheWindowGoesAndKeepsExceptionsIn) {
    HWND edit = ::CreateWindowExW(0, L"Edit", L"文本", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    ThrowingSubclass subclass(edit);
    EXPECT_EQ(Subclass::Of(edit), &subclass);
    EXPECT_EQ(::SendMessageW(edit, WM_APP, 0, 0), 0);
    EXPECT_EQ(test::WindowText(edit), L"文本");  // the window's own procedure still answers
    ::DestroyWindow(edit);
    EXPECT_TRUE(subclass.detached);
    EXPECT_EQ(subclass.Hwnd(), nullptr);
}

}  // namespace
}  // namespace cartulane
