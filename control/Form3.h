#pragma once
// Form3, "更改根目录": while it loads it hides itself and lets the user choose the root
// folder. A single default instance per thread.

#include "runtime/Form.h"

namespace cartulane::control {

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
