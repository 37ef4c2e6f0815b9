#pragma once
// The control's three small forms: the help window, the close-workbook pop-up and the
// carrier of the folder choice. Each is a single default instance per thread
// (DefaultInstance<Form1>() and so on).

#include "runtime/forms.h"

namespace cartulane::control {

// "帮助": the numbered usage notes in a frame, and "关闭".
class Form1 final : public Form {
public:
    Form1();

private:
    void CreateControls() override;
    void OnCommand(UINT id, UINT code) override;
};

// The one-entry pop-up "关闭工作簿": closes the workbook last clicked in the workbook tree.
class Form2 final : public Form {
public:
    Form2();

private:
    void CreateControls() override;
    void Form_Show() override;
    void OnCommand(UINT id, UINT code) override;
    void Label1_Click();
};

// "更改根目录": while it loads it hides itself and lets the user choose the root folder.
class Form3 final : public Form {
public:
    Form3();

private:
    void CreateControls() override;
    void Form_Load() override;
    void OnCommand(UINT id, UINT code) override;
    void Label1_Click();
};

}  // namespace cartulane::control
