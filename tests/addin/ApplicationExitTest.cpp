// sheethost.exe run as the application runs, with the add-in and its pane: the user
// closes it, and it ends the way the real application may, OleUninitialize alone and
// then every COM library unloaded whatever it holds. A library that releases COM
// pointers or destroys windows at unload crashes here.

#include "tests/support/PaneFixture.h"

namespace cartulane {
namespace {

const auto* const g_control = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);
const auto* const g_addIn = ::testing::AddGlobalTestEnvironment(new test::AddInEnvironment);

TEST(ApplicationExit, ClosingTheApplicationWithThePaneShownEndsCleanly) {
    std::wstring command = L"\"" + test::LibraryPath(L"sheethost.exe") + L"\" --new";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    UniqueKernelHandle thread(process.hThread), running(process.hProcess);

    const test::ApplicationWindows windows = test::AwaitApplicationWindows(process.dwProcessId);
    ASSERT_NE(windows.control, nullptr) << "the pane with the control is shown";
    ::PostMessageW(windows.main, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(running.get(), 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ASSERT_TRUE(::GetExitCodeProcess(running.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace cartulane
