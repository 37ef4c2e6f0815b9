// Instaldo.exe run as a user runs it: from a folder with the two libraries beside it, its
// buttons pressed and its messages answered from outside. It installs into the prefix's
// Windows folder (Wine gives every process its own SystemRoot, whatever the parent's
// environment says); what it writes is read back from the disk and the registry, and
// sheethost started afterwards loads the installed copies.

#include "installer/Form1.h"
#include "installer/Registration.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <thread>
#include <vector>

namespace cartulane {
namespace {

using test::MakeFile;
using test::MakeFolder;
using test::Narrow;
using test::ReadFile;
using test::RegistryNumber;
using test::RegistryText;
using test::TempDir;

constexpr UINT kCommand1 = 101, kCommand2 = 102;
const wchar_t kAddInKey[] = L"Software\\Microsoft\\Office\\Excel\\Addins\\Brevant.Connect";
const wchar_t kNote[] = L"注：进行以上操作时，请先关闭Excel文件。";
const wchar_t kMissing[] = L"请确保注册文件：TabrixAddIn.dll及Tabrix.ocx均在本软件相同目录下！";

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Where a ProgID's class is served from, by the registry ("<none>" when it is not).
std::wstring ServerOf(const wchar_t* progId) {
    const std::wstring clsid = RegistryText(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID");
    if (clsid == L"<none>") return clsid;
    return RegistryText(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32");
}

// A file with nothing but the headers a loader reads first, of the given machine.
void MakeProgramHeaders(const std::wstring& path, WORD machine) {
    std::string bytes(0x100, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0x40;
    bytes.replace(0x40, 4, std::string("PE\0\0", 4));
    bytes[0x44] = static_cast<char>(machine & 0xFF);
    bytes[0x45] = static_cast<char>(machine >> 8);
    MakeFile(path, bytes);
}

// The spreadsheet application's class registered, served by the program of commandLine.
class RegisteredSpreadsheet {
public:
    explicit RegisteredSpreadsheet(const std::wstring& commandLine) {
        Set(L"Software\\Classes\\Excel.Application\\CLSID", kClsid);
        Set(std::wstring(L"Software\\Classes\\CLSID\\") + kClsid + L"\\LocalServer32", commandLine);
    }
    ~RegisteredSpreadsheet() {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Excel.Application");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\CLSID\\") + kClsid).c_str());
    }

private:
    static constexpr const wchar_t* kClsid = L"{00024500-0000-0000-C000-000000000046}";
    static void Set(const std::wstring& key, const std::wstring& value) {
        ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, value.c_str(),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
};

TEST(Registration, MachinesToolsAndTheInstalledSpreadsheet) {
    TempDir dir;
    constexpr WORD kOwn = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    EXPECT_EQ(installer::MachineOf(test::LibraryPath(L"Tabrix.ocx")), kOwn);
    MakeProgramHeaders(dir / L"旧 程序.exe", IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(installer::MachineOf(dir / L"旧 程序.exe"), IMAGE_FILE_MACHINE_I386);
    MakeFile(dir / L"text.ocx", "MZ but nothing more");
    EXPECT_EQ(installer::MachineOf(dir / L"text.ocx"), 0);
    EXPECT_EQ(installer::MachineOf(dir / L"missing.dll"), 0);

    // The installer's own kind: the tool of the system folder.
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_TRUE(SamePath(installer::RegistrationTool(kOwn), JoinPath(system, L"regsvr32.exe")));
    EXPECT_EQ(installer::RegistrationTool(IMAGE_FILE_MACHINE_ARM64), L"");

    EXPECT_EQ(installer::InstalledSpreadsheetMachine(), 0);
    {
        RegisteredSpreadsheet quoted(L"\"" + (dir / L"旧 程序.exe") + L"\" /automation");
        EXPECT_EQ(installer::InstalledSpreadsheetMachine(), IMAGE_FILE_MACHINE_I386);
    }
    {
        RegisteredSpreadsheet bare(test::LibraryPath(L"Instaldo.exe") + L" /automation");
        EXPECT_EQ(installer::InstalledSpreadsheetMachine(), kOwn);
    }
    EXPECT_EQ(installer::InstalledSpreadsheetMachine(), 0);
}

// The Windows folder is the system's, whatever a user set SystemRoot to for the session
// the installer was started from.
TEST(Registration, TheWindowsFolderIsTheSystemsNotTheEnvironments) {
    wchar_t system[MAX_PATH];
    const UINT size = ::GetSystemWindowsDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(size > 0 && size < MAX_PATH);
    const std::wstring before = EnvironmentVariable(L"SystemRoot");
    TempDir elsewhere;
    ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemRoot", elsewhere.path().c_str()));
    const std::wstring folder = installer::WindowsFolder();
    ::SetEnvironmentVariableW(L"SystemRoot", before.empty() ? nullptr : before.c_str());
    EXPECT_EQ(folder, std::wstring(system, size));
}

// A copy is replaced only where nothing is, or a file no program holds: a link there (a
// folder link made on the host's side; Wine tells a file link from a file by nothing) is
// refused, whatever it leads to.
TEST(Registration, OnlyAFileNobodyHoldsOrNothingIsReplaceable) {
    TempDir dir;
    EXPECT_EQ(installer::CheckReplaceable(dir / L"nothing.ocx"), S_OK);
    test::MakeFile(dir / L"free.ocx");
    EXPECT_EQ(installer::CheckReplaceable(dir / L"free.ocx"), S_OK);
    {
        const UniqueFile held(::CreateFileW((dir / L"free.ocx").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(installer::CheckReplaceable(dir / L"free.ocx"), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    }
    // A library loaded, as the spreadsheet application holds one: mapped, with no handle open.
    ASSERT_HRESULT_SUCCEEDED(FileSystem().CopyFileTo(test::LibraryPath(L"TabrixAddIn.dll"), dir / L"loaded.dll"));
    HMODULE loaded = ::LoadLibraryExW((dir / L"loaded.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(FAILED(installer::CheckReplaceable(dir / L"loaded.dll")));
    ::FreeLibrary(loaded);
    EXPECT_EQ(installer::CheckReplaceable(dir / L"loaded.dll"), S_OK);
    const DWORD link = ::GetFileAttributesW(L"T:\\links\\planted.ocx");
    ASSERT_TRUE(link != INVALID_FILE_ATTRIBUTES && (link & FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(installer::CheckReplaceable(L"T:\\links\\planted.ocx"), installer::LinkAtTargetError());
}

TEST(Registration, TheToolRunsOnAPathWithBlanksAndItsEndIsAwaited) {
    using installer::ToolStep;
    TempDir dir;
    constexpr WORD kOwn = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    const std::wstring tool = installer::RegistrationTool(kOwn);
    MakeFolder(dir / L"系统 根目录");
    const std::wstring library = dir / L"系统 根目录\\Tabrix.ocx";
    ASSERT_HRESULT_SUCCEEDED(FileSystem().CopyFileTo(test::LibraryPath(L"Tabrix.ocx"), library));

    DWORD exitCode = 1;
    EXPECT_HRESULT_SUCCEEDED(installer::RunRegistrationTool(tool, library, ToolStep::Register, 60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(SamePath(ServerOf(L"Quillet.TestControl"), library)) << Narrow(ServerOf(L"Quillet.TestControl"));
    EXPECT_HRESULT_SUCCEEDED(installer::RunRegistrationTool(tool, library, ToolStep::Unregister, 60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(ServerOf(L"Quillet.TestControl"), L"<none>");

    // The add-in's entry of the user who runs it, in and out, and nothing of the machine's.
    const std::wstring addIn = dir / L"系统 根目录\\TabrixAddIn.dll";
    ASSERT_HRESULT_SUCCEEDED(FileSystem().CopyFileTo(test::LibraryPath(L"TabrixAddIn.dll"), addIn));
    const std::wstring addInTool = installer::RegistrationTool(installer::MachineOf(addIn));
    EXPECT_HRESULT_SUCCEEDED(
        installer::RunRegistrationTool(addInTool, addIn, ToolStep::EnterForUser, 60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(RegistryNumber(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior"), 3u);
    EXPECT_EQ(ServerOf(L"Brevant.Connect"), L"<none>");
    EXPECT_HRESULT_SUCCEEDED(
        installer::RunRegistrationTool(addInTool, addIn, ToolStep::RemoveForUser, 60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, kAddInKey));

    // A message handled for longer than the limit: the tool had ended by then, and that counts.
    test::HiddenWindow slow([](UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message != WM_APP) return false;
        ::Sleep(3000);
        return true;
    });
    ::PostMessageW(slow.hwnd(), WM_APP, 0, 0);
    EXPECT_HRESULT_SUCCEEDED(installer::RunRegistrationTool(tool, library, ToolStep::Register, 1000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_HRESULT_SUCCEEDED(installer::RunRegistrationTool(tool, library, ToolStep::Unregister, 60000, &exitCode));

    // A tool that is not there; one that does not end in time (a program that runs until it is
    // closed) is ended at the limit.
    EXPECT_EQ(installer::RunRegistrationTool(dir / L"regsvr32.exe", library, ToolStep::Register, 60000, &exitCode),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(installer::RunRegistrationTool(test::LibraryPath(L"sheethost.exe"), library, ToolStep::Register, 2000,
                                             &exitCode),
              HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    EXPECT_GE(::GetTickCount64() - start, 2000u);
}

// The dialog in this process, loaded and closed again and again: each time skinned, and
// nothing of it left behind.
TEST(InstaldoDialog, ClosedItLeavesNoGdiOrUserObjectBehind) {
    const auto cycle = [] {
        installer::Form1 dialog;
        dialog.Load();
        EXPECT_NE(::GetPropW(dialog.Hwnd(), L"PROCADDR"), nullptr);
        dialog.Unload();
        MSG quit;
        EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the program ends with it";
    };
    cycle();
    const test::GuiObjects before;
    for (int i = 0; i < 50; ++i) cycle();
    EXPECT_TRUE(before.NoneLeft(16));
}

// Instaldo.exe started from program; closed at the end.
class Instaldo {
public:
    // With arguments, as the dialog starts its elevated part: no dialog is waited for.
    explicit Instaldo(const std::wstring& program, const std::wstring& arguments = {}) {
        std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &started))
            return;
        process_.reset(started.hProcess);
        ::CloseHandle(started.hThread);
        id_ = started.dwProcessId;
        for (int i = 0; i < 300 && !dialog_ && arguments.empty(); ++i) {
            ::Sleep(50);
            dialog_ = FindTop(L"Form", L"Instaldo");
        }
    }
    ~Instaldo() {
        if (!process_) return;
        if (dialog_) ::PostMessageW(dialog_, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process_.get(), 20000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "Instaldo did not end with its dialog";
            ::TerminateProcess(process_.get(), 1);
        }
    }
    Instaldo(const Instaldo&) = delete;
    Instaldo& operator=(const Instaldo&) = delete;

    HWND Dialog() const { return dialog_; }
    DWORD Process() const { return id_; }

    // A click on a button, posted: the handler runs while the test goes on.
    void Press(UINT id) const {
        ::PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog_, id)));
    }

    // The text of the next message box, titled "提示", answered with answer; "" when none
    // comes within the time.
    std::wstring NextMessage(UINT answer = IDOK, DWORD milliseconds = 90000) const {
        for (DWORD waited = 0; waited < milliseconds; waited += 50) {
            if (HWND box = FindTop(L"#32770", L"提示")) {
                wchar_t text[1024] = {};
                ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
                // The box is skinned once it took the activation from the skinned dialog.
                for (int i = 0; i < 40 && !::GetPropW(box, L"PROCADDR"); ++i) ::Sleep(25);
                HWND button = ::GetDlgItem(box, answer);
                lastBoxSkinned_ = ::GetPropW(box, L"PROCADDR") && ::GetPropW(button, L"PROCADDR") &&
                                  (::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(box, answer)));
                for (int i = 0; i < 100 && ::IsWindow(box); ++i) ::Sleep(20);
                return text;
            }
            ::Sleep(50);
        }
        return {};
    }

    // Whether the last message box answered wore the skin, its button included.
    bool LastBoxSkinned() const { return lastBoxSkinned_; }

    // Whether the dialog handles its messages and its buttons can be pressed.
    bool Answers() const {
        DWORD_PTR result = 0;
        return ::SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) &&
               ::IsWindowEnabled(::GetDlgItem(dialog_, kCommand1)) && ::IsWindowEnabled(::GetDlgItem(dialog_, kCommand2));
    }
    // Whether the command running has ended within a generous while (its buttons come back).
    bool AwaitsCommands() const {
        for (int i = 0; i < 1200; ++i) {
            if (::IsWindowEnabled(::GetDlgItem(dialog_, kCommand1))) return Answers();
            ::Sleep(50);
        }
        return false;
    }

private:
    struct Search {
        DWORD process;
        const wchar_t* className;
        const wchar_t* title;
        HWND found = nullptr;
    };
    static BOOL CALLBACK Match(HWND top, LPARAM state) {
        auto* search = reinterpret_cast<Search*>(state);
        DWORD process = 0;
        ::GetWindowThreadProcessId(top, &process);
        wchar_t className[64] = {};
        ::GetClassNameW(top, className, 64);
        if (process == search->process && ::IsWindowVisible(top) && std::wstring(className) == search->className &&
            test::WindowText(top) == search->title) {
            search->found = top;
            return FALSE;
        }
        return TRUE;
    }
    HWND FindTop(const wchar_t* className, const wchar_t* title) const {
        Search search{id_, className, title};
        ::EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    UniqueKernelHandle process_;
    DWORD id_ = 0;
    HWND dialog_ = nullptr;
    mutable bool lastBoxSkinned_ = false;
};

// The processes started while it watches, in the order they were first seen, each with the
// process that started it; and whether the add-in's entry of this user was there at any
// moment while an Instaldo.exe started by the dialog ran.
class ProcessWatch {
public:
    struct Started {
        DWORD id, parent;
        std::wstring name;  // lower case
        bool operator==(const Started&) const = default;
    };

    explicit ProcessWatch(DWORD dialog) : dialog_(dialog), thread_([this] { Run(); }) {}
    ~ProcessWatch() { Stop(); }
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // The processes one process started, in order (after Stop).
    std::vector<Started> StartedBy(DWORD parent) const {
        std::vector<Started> children;
        for (const Started& started : started_)
            if (started.parent == parent) children.push_back(started);
        return children;
    }
    bool EntrySeenWhileElevatedPartRan() const { return entryWhileElevated_; }

private:
    // A process counts as started when it is seen and was not in the look before, so that a
    // process number used again by the next process is counted again.
    void Run() {
        std::vector<Started> before;
        while (!stop_) {
            bool elevatedRuns = false;
            std::vector<Started> now;
            const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof(entry);
            for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
                 more = ::Process32NextW(snapshot.get(), &entry)) {
                std::wstring name = entry.szExeFile;
                for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
                name = name.substr(name.find_last_of(L'\\') + 1);
                if (name.empty()) continue;  // a process being made: its name comes with the next look
                if (entry.th32ParentProcessID == dialog_ && name == L"instaldo.exe") elevatedRuns = true;
                const Started seen{entry.th32ProcessID, entry.th32ParentProcessID, name};
                now.push_back(seen);
                if (std::find(before.begin(), before.end(), seen) == before.end()) started_.push_back(seen);
            }
            before = std::move(now);
            if (elevatedRuns && test::KeyExists(HKEY_CURRENT_USER, kAddInKey)) entryWhileElevated_ = true;
            ::Sleep(5);
        }
    }

    const DWORD dialog_;
    std::vector<Started> started_;
    bool entryWhileElevated_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A package folder (its path with a blank and Chinese) holding Instaldo.exe and both
// libraries; no copy installed in the Windows folder before or after.
class InstaldoTest : public ::testing::Test {
protected:
    InstaldoTest() {
        RemoveInstalled();
        MakeFolder(package_);
        for (const wchar_t* name : {L"Instaldo.exe", L"Tabrix.ocx", L"TabrixAddIn.dll"}) Put(name);
    }
    ~InstaldoTest() override { RemoveInstalled(); }

    void RemoveInstalled() {
        for (const wchar_t* name : {L"Tabrix.ocx", L"TabrixAddIn.dll"}) {
            if (!files_.FileExists(Installed(name))) continue;
            test::CallExportOnce(Installed(name), "DllUnregisterServer");
            files_.RemoveFile(Installed(name));
        }
    }
    void Put(const wchar_t* name) {
        ASSERT_HRESULT_SUCCEEDED(files_.CopyFileTo(test::LibraryPath(name), JoinPath(package_, name)));
    }
    std::wstring Installed(const wchar_t* name) const { return JoinPath(systemRoot_, name); }
    std::wstring Program() const { return JoinPath(package_, L"Instaldo.exe"); }

    // Nothing more is said within a while.
    static void ExpectSilence(const Instaldo& instaldo) { EXPECT_EQ(instaldo.NextMessage(IDOK, 1500), L""); }

    TempDir dir_;
    const FileSystem files_{};
    const std::wstring package_ = dir_ / L"安装 包";
    const std::wstring systemRoot_ = EnvironmentVariable(L"SystemRoot");
};

// Whether a process has loaded the library at path.
bool HasLoaded(HANDLE process, const std::wstring& path) {
    HMODULE modules[512];
    DWORD size = 0;
    if (!::EnumProcessModules(process, modules, sizeof(modules), &size)) return false;
    for (DWORD i = 0; i < size / sizeof(HMODULE); ++i) {
        wchar_t name[MAX_PATH * 2] = {};
        ::GetModuleFileNameExW(process, modules[i], name, MAX_PATH * 2);
        if (SamePath(name, path)) return true;
    }
    return false;
}

TEST_F(InstaldoTest, RegistersSoThatTheApplicationLoadsTheInstalledCopiesAndUnregisters) {
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);
    // The dialog wears the skin: itself, and its buttons drawn by it.
    EXPECT_NE(::GetPropW(instaldo.Dialog(), L"PROCADDR"), nullptr);
    for (const UINT id : {kCommand1, kCommand2}) {
        HWND button = ::GetDlgItem(instaldo.Dialog(), static_cast<int>(id));
        EXPECT_NE(::GetPropW(button, L"PROCADDR"), nullptr);
        EXPECT_EQ(::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    }
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
    EXPECT_TRUE(instaldo.LastBoxSkinned());
    for (const wchar_t* name : {L"Tabrix.ocx", L"TabrixAddIn.dll"})
        EXPECT_EQ(ReadFile(Installed(name)), ReadFile(JoinPath(package_, name))) << Narrow(name);
    EXPECT_TRUE(SamePath(ServerOf(L"Quillet.TestControl"), Installed(L"Tabrix.ocx")));
    EXPECT_TRUE(SamePath(ServerOf(L"Brevant.Connect"), Installed(L"TabrixAddIn.dll")));
    EXPECT_EQ(RegistryNumber(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior"), 3u);

    // The application started now loads the add-in and the control from the installed copies.
    {
        std::wstring command = L"\"" + test::LibraryPath(L"sheethost.exe") + L"\" --new";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &started));
        const UniqueKernelHandle thread(started.hThread), process(started.hProcess);
        const test::ApplicationWindows windows = test::AwaitApplicationWindows(started.dwProcessId);
        EXPECT_NE(windows.control, nullptr) << "the pane with the control is shown";
        EXPECT_TRUE(HasLoaded(process.get(), Installed(L"Tabrix.ocx")));
        EXPECT_TRUE(HasLoaded(process.get(), Installed(L"TabrixAddIn.dll")));
        if (windows.main) ::PostMessageW(windows.main, WM_CLOSE, 0, 0);
        EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    }

    // Again: the copies are replaced and registered again.
    MakeFile(Installed(L"Tabrix.ocx"), "an older copy");
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
    EXPECT_EQ(ReadFile(Installed(L"Tabrix.ocx")), ReadFile(JoinPath(package_, L"Tabrix.ocx")));

    instaldo.Press(kCommand2);
    EXPECT_EQ(instaldo.NextMessage(), L"卸载成功！");
    EXPECT_EQ(ServerOf(L"Quillet.TestControl"), L"<none>");
    EXPECT_EQ(ServerOf(L"Brevant.Connect"), L"<none>");
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, kAddInKey));
    // Unregistering leaves the copies.
    EXPECT_TRUE(files_.FileExists(Installed(L"Tabrix.ocx")));
    EXPECT_TRUE(instaldo.Answers());
}

// The dialog runs as the user who started it, and an elevated Instaldo.exe it starts copies
// and registers, with regsvr32 (which enters the add-in for no user). The add-in's entry is
// the dialog's own step once that has ended: a regsvr32 it starts itself. Unregistering
// likewise: the elevated part first, then the dialog's own step.
TEST_F(InstaldoTest, TheElevatedPartCopiesAndRegistersAndTheDialogEntersTheAddInForItsUser) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAddInKey);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kAddInKey);
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);
    for (const bool install : {true, false}) {
        ProcessWatch watch(instaldo.Process());
        instaldo.Press(install ? kCommand1 : kCommand2);
        EXPECT_EQ(instaldo.NextMessage(), install ? L"注册成功！" : L"卸载成功！");
        watch.Stop();
        EXPECT_EQ(test::KeyExists(HKEY_CURRENT_USER, kAddInKey), install);

        const auto byDialog = watch.StartedBy(instaldo.Process());
        std::wstring names;
        for (const auto& started : byDialog) names += started.name + L" ";
        EXPECT_EQ(byDialog.size(), 2u) << "the elevated part, then the user's own step: " << Narrow(names);
        if (byDialog.size() != 2u) continue;
        EXPECT_EQ(byDialog[0].name, L"instaldo.exe");
        EXPECT_EQ(byDialog[1].name, L"regsvr32.exe");
        const auto byElevatedPart = watch.StartedBy(byDialog[0].id);
        EXPECT_EQ(byElevatedPart.size(), 2u) << "a registration tool for each library";
        for (const auto& started : byElevatedPart) EXPECT_EQ(started.name, L"regsvr32.exe");
        if (install) {
            EXPECT_FALSE(watch.EntrySeenWhileElevatedPartRan()) << "the elevated part entered the add-in";
        }
    }
    EXPECT_EQ(ServerOf(L"Brevant.Connect"), L"<none>");
}

TEST_F(InstaldoTest, TheDialogStaysWhileARegistrationRunsAndReadOnlyCopiesAreReplaced) {
    // From a read-only medium: the copies made must not be read-only, or the next one fails.
    ::SetFileAttributesW(JoinPath(package_, L"Tabrix.ocx").c_str(), FILE_ATTRIBUTE_READONLY);
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);
    instaldo.Press(kCommand1);
    ::Sleep(100);
    ::PostMessageW(instaldo.Dialog(), WM_CLOSE, 0, 0);
    ::PostMessageW(instaldo.Dialog(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
    EXPECT_TRUE(instaldo.Answers());
    EXPECT_FALSE(::GetFileAttributesW(Installed(L"Tabrix.ocx").c_str()) & FILE_ATTRIBUTE_READONLY);

    ::SetFileAttributesW(Installed(L"TabrixAddIn.dll").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
    EXPECT_FALSE(::GetFileAttributesW(Installed(L"TabrixAddIn.dll").c_str()) & FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW(JoinPath(package_, L"Tabrix.ocx").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(InstaldoTest, AMissingLibraryCopiesNothingAndUnregisteringNamesAMissingCopy) {
    ASSERT_HRESULT_SUCCEEDED(files_.RemoveFile(JoinPath(package_, L"TabrixAddIn.dll")));
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), kMissing);
    ExpectSilence(instaldo);
    EXPECT_FALSE(files_.FileExists(Installed(L"Tabrix.ocx")));
    EXPECT_EQ(ServerOf(L"Quillet.TestControl"), L"<none>");

    // A hidden library counts as missing, as a directory listing would not show it.
    Put(L"TabrixAddIn.dll");
    ::SetFileAttributesW(JoinPath(package_, L"TabrixAddIn.dll").c_str(), FILE_ATTRIBUTE_HIDDEN);
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), kMissing);

    // One copy gone after the installation: unregistering names it, and unregisters the other.
    ::SetFileAttributesW(JoinPath(package_, L"TabrixAddIn.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
    ASSERT_HRESULT_SUCCEEDED(files_.RemoveFile(Installed(L"TabrixAddIn.dll")));
    instaldo.Press(kCommand2);
    EXPECT_EQ(instaldo.NextMessage(), L"未找到已安装的组件：\n" + Installed(L"TabrixAddIn.dll") + L"\n\n其余组件已卸载。");
    EXPECT_EQ(ServerOf(L"Quillet.TestControl"), L"<none>");
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, kAddInKey)) << "the user's entry goes without its library";
    // Neither there: both are named.
    ASSERT_HRESULT_SUCCEEDED(files_.RemoveFile(Installed(L"Tabrix.ocx")));
    instaldo.Press(kCommand2);
    EXPECT_EQ(instaldo.NextMessage(),
              L"未找到已安装的组件：\n" + Installed(L"Tabrix.ocx") + L"\n" + Installed(L"TabrixAddIn.dll"));
    EXPECT_TRUE(instaldo.Answers());
}

// Either copy in use, the first or the second: it is named, and neither is replaced.
TEST_F(InstaldoTest, ACopyInUseIsReportedAndNothingIsReplaced) {
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);
    for (const wchar_t* name : {L"TabrixAddIn.dll", L"Tabrix.ocx"}) {
        MakeFile(Installed(L"TabrixAddIn.dll"), "old");
        MakeFile(Installed(L"Tabrix.ocx"), "old");
        {
            // As a running application holds the library it loaded.
            const UniqueFile held(
                ::CreateFileW(Installed(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
            instaldo.Press(kCommand1);
            const std::wstring said = instaldo.NextMessage();
            EXPECT_NE(said.find(name), std::wstring::npos) << Narrow(said);
            EXPECT_NE(said.find(kNote), std::wstring::npos) << Narrow(said);
            ExpectSilence(instaldo);
            EXPECT_EQ(ServerOf(L"Quillet.TestControl"), L"<none>");
            EXPECT_TRUE(instaldo.Answers());
        }
        EXPECT_EQ(ReadFile(Installed(L"TabrixAddIn.dll")), "old") << Narrow(name) << " in use";
        EXPECT_EQ(ReadFile(Installed(L"Tabrix.ocx")), "old") << Narrow(name) << " in use";
    }
    // A library of the package that another program may still write: nothing is copied from it.
    RemoveInstalled();
    {
        const UniqueFile writing(::CreateFileW(JoinPath(package_, L"Tabrix.ocx").c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writing);
        instaldo.Press(kCommand1);
        const std::wstring said = instaldo.NextMessage();
        EXPECT_TRUE(said.starts_with(L"无法复制Tabrix.ocx到")) << Narrow(said);
        ExpectSilence(instaldo);
        EXPECT_FALSE(files_.FileExists(Installed(L"TabrixAddIn.dll")));
    }
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
}

// Tabrix.ocx is registered first; when TabrixAddIn.dll then fails, Tabrix.ocx is
// unregistered again and the message says so.
TEST_F(InstaldoTest, ASecondRegistrationThatFailsUndoesTheFirst) {
    ASSERT_HRESULT_SUCCEEDED(
        files_.CopyFileTo(test::LibraryPath(L"Instaldo.exe"), JoinPath(package_, L"TabrixAddIn.dll")));
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);
    instaldo.Press(kCommand1);
    const std::wstring said = instaldo.NextMessage();
    EXPECT_TRUE(said.starts_with(L"注册TabrixAddIn.dll失败（Regsvr32退出代码")) << Narrow(said);
    EXPECT_TRUE(said.ends_with(L"\n已撤销Tabrix.ocx的注册。")) << Narrow(said);
    ExpectSilence(instaldo);
    EXPECT_EQ(ServerOf(L"Quillet.TestControl"), L"<none>");
    EXPECT_TRUE(instaldo.Answers());
}

// The elevated part started by a program that is not the dialog it names (here this test,
// naming another Instaldo's dialog): it sends that dialog nothing and tells the user itself.
TEST_F(InstaldoTest, AnElevatedPartNamingADialogOfAnotherProgramTellsTheUserItself) {
    ASSERT_HRESULT_SUCCEEDED(files_.RemoveFile(JoinPath(package_, L"Tabrix.ocx")));
    Instaldo dialog(Program());
    ASSERT_NE(dialog.Dialog(), nullptr);
    const std::wstring arguments = L"/register " + std::to_wstring(reinterpret_cast<ULONG_PTR>(dialog.Dialog())) +
                                   L" {00000000-0000-0000-0000-000000000000}";
    Instaldo elevated(Program(), arguments);
    EXPECT_EQ(elevated.NextMessage(), kMissing);
    ExpectSilence(dialog);
    EXPECT_TRUE(dialog.Answers());
}

TEST_F(InstaldoTest, ALibraryTheToolRefusesIsReportedWithItsExitCode) {
    // A program of the right machine, but no COM library: the tool cannot register it.
    ASSERT_HRESULT_SUCCEEDED(files_.CopyFileTo(test::LibraryPath(L"Instaldo.exe"), JoinPath(package_, L"Tabrix.ocx")));
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);
    instaldo.Press(kCommand1);
    const std::wstring said = instaldo.NextMessage();
    EXPECT_TRUE(said.starts_with(L"注册Tabrix.ocx失败（Regsvr32退出代码")) << Narrow(said);
    EXPECT_EQ(said.find(L"退出代码0）"), std::wstring::npos) << Narrow(said);
    ExpectSilence(instaldo);
    EXPECT_TRUE(instaldo.Answers());

    // Installed copies that are no libraries at all: told so, not taken for another bitness;
    // the add-in beside it is still unregistered.
    MakeFile(Installed(L"Tabrix.ocx"), "not a library");
    test::CallExportOnce(Installed(L"TabrixAddIn.dll"), "DllRegisterServer");
    ASSERT_NE(ServerOf(L"Brevant.Connect"), L"<none>");
    instaldo.Press(kCommand2);
    const std::wstring unregistering = instaldo.NextMessage();
    EXPECT_TRUE(unregistering.starts_with(L"卸载Tabrix.ocx失败：")) << Narrow(unregistering);
    EXPECT_NE(unregistering.find(L"不是有效的组件文件"), std::wstring::npos) << Narrow(unregistering);
    EXPECT_TRUE(instaldo.AwaitsCommands());
    EXPECT_EQ(ServerOf(L"Brevant.Connect"), L"<none>");
}

TEST_F(InstaldoTest, ASpreadsheetApplicationOfTheOtherBitsIsToldFirst) {
    constexpr WORD kOther = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    MakeProgramHeaders(dir_ / L"EXCEL.EXE", kOther);
    const RegisteredSpreadsheet spreadsheet(L"\"" + (dir_ / L"EXCEL.EXE") + L"\" /automation");
    Instaldo instaldo(Program());
    ASSERT_NE(instaldo.Dialog(), nullptr);

    instaldo.Press(kCommand1);
    const std::wstring said = instaldo.NextMessage(IDNO);
    const std::wstring other = installer::Bits(kOther);
    EXPECT_TRUE(said.starts_with(std::wstring(L"本软件的组件为") + (other == L"32" ? L"64" : L"32") + L"位，而已安装的Excel为" +
                                 other + L"位。请使用" + other + L"位安装包。"))
        << Narrow(said);
    ExpectSilence(instaldo);
    EXPECT_FALSE(files_.FileExists(Installed(L"TabrixAddIn.dll")));

    instaldo.Press(kCommand1);
    EXPECT_NE(instaldo.NextMessage(IDYES), L"");
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
}

// The product's name in a file's version resource, "" when it has none.
std::wstring ProductName(const std::wstring& path) {
    std::string data(::GetFileVersionInfoSizeW(path.c_str(), nullptr), '\0');
    wchar_t* name = nullptr;
    UINT size = 0;
    if (data.empty() || !::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !::VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&name),
                          &size))
        return {};
    return name;
}

// Unpacked before this program runs (the unpacked_package step), as a user unpacks it.
TEST_F(InstaldoTest, InstallsFromTheUnpackedReleasePackage) {
    const std::wstring unpacked =
        std::wstring(L"T:\\package\\Cartulane-") + (sizeof(void*) == 8 ? L"x64" : L"x86");
    for (const wchar_t* name : {L"Instaldo.exe", L"Tabrix.ocx", L"TabrixAddIn.dll"})
        EXPECT_EQ(ProductName(JoinPath(unpacked, name)), L"Cartulane") << Narrow(name);
    EXPECT_TRUE(files_.FileExists(JoinPath(unpacked, L"README.txt")));

    Instaldo instaldo(JoinPath(unpacked, L"Instaldo.exe"));
    ASSERT_NE(instaldo.Dialog(), nullptr);
    instaldo.Press(kCommand1);
    EXPECT_EQ(instaldo.NextMessage(), L"注册成功！");
    EXPECT_EQ(ReadFile(Installed(L"Tabrix.ocx")), ReadFile(JoinPath(unpacked, L"Tabrix.ocx")));
    EXPECT_TRUE(SamePath(ServerOf(L"Brevant.Connect"), Installed(L"TabrixAddIn.dll")));
    EXPECT_EQ(RegistryNumber(HKEY_CURRENT_USER, kAddInKey, L"LoadBehavior"), 3u);
    instaldo.Press(kCommand2);
    EXPECT_EQ(instaldo.NextMessage(), L"卸载成功！");
    EXPECT_EQ(ServerOf(L"Quillet.TestControl"), L"<none>");
}

}  // namespace
}  // namespace cartulane
