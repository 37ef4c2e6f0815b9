#pragma once
// Form1, "Instaldo": copies Tabrix.ocx and TabrixAddIn.dll from the program's folder into
// the Windows folder and registers them ("注册"), or unregisters them ("卸载"). The dialog
// runs as the user who started it; the copies and the registration are done by an elevated
// copy of the program, whose messages come back to the dialog to be told.

#include "runtime/Form.h"

#include <string>
#include <vector>

namespace cartulane::installer {

// WM_COPYDATA's dwData for a message of the elevated part: in UTF-16, the token the dialog
// gave it on its command line, then the text.
inline constexpr ULONG_PTR kToldData = 0x496E7374;

class Form1 final : public Form {
public:
    Form1();

private:
    void CreateControls() override;
    void Form_Load() override;
    bool Form_QueryUnload() override;
    void Form_Unload() override;
    void OnCommand(UINT id, UINT code) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void Command1_Click();
    void Command2_Click();
    // Runs this program elevated with the switch ("/register", "/unregister"), this window
    // and a new token, and awaits it; then tells what it said. Whether it ran; *done whether
    // all it had to do was done.
    bool RunElevatedPart(const wchar_t* command, bool* done);
    int Tell(const std::wstring& text, UINT style);
    void EnableCommands(bool enable);

    bool busy_ = false;       // a command is running: the dialog is not closed under it
    bool awaiting_ = false;   // the elevated part runs, and what it says is kept
    std::wstring token_;      // what each of its messages begins with, new for each run
    std::vector<std::wstring> told_;
};

}  // namespace cartulane::installer
