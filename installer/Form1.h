#pragma once
// Form1, "Instaldo": copies Tabrix.ocx and TabrixAddIn.dll from the program's folder into
// the Windows folder and registers them ("注册"), or unregisters them ("卸载").

#include "runtime/Form.h"

namespace cartulane::installer {

class Form1 final : public Form {
public:
    Form1();

private:
    void CreateControls() override;
    void Form_Load() override;
    bool Form_QueryUnload() override;
    void Form_Unload() override;
    void OnCommand(UINT id, UINT code) override;

    void Command1_Click();
    void Command2_Click();
    // Registers each installed library, reporting the first failure and undoing the
    // registrations before it; whether all were registered.
    bool RegisterAll(const std::wstring& systemRoot);
    // Runs the tool on one library: whether it succeeded, and what failed (nothing when the
    // program is ending).
    bool RunToolOn(const std::wstring& library, const wchar_t* name, bool unregister, std::wstring* failure);
    int Tell(const std::wstring& text, UINT style);
    void EnableCommands(bool enable);

    bool busy_ = false;  // a command is running: the dialog is not closed under it
};

}  // namespace cartulane::installer
