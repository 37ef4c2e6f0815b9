#pragma once
// Form2: the one-entry pop-up "关闭工作簿" that closes the workbook last clicked in the
// workbook tree. A single default instance per thread.

#include "runtime/Form.h"

namespace cartulane::control {

class Form2 final : public Form {
public:
    Form2();

private:
    void CreateControls() override;
    void Form_Load() override;
    void Form_Show() override;
    void OnCommand(UINT id, UINT code) override;
    void Label1_Click();
};

}  // namespace cartulane::control
