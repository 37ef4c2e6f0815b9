#pragma once
// Form1, "帮助": the numbered usage notes in a frame, and "关闭". A single default
// instance per thread (DefaultInstance<Form1>()).

#include "runtime/Form.h"

namespace cartulane::control {

class Form1 final : public Form {
public:
    Form1();

private:
    void CreateControls() override;
    void Form_Load() override;
    void OnCommand(UINT id, UINT code) override;
};

}  // namespace cartulane::control
