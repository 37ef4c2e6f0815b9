#pragma once
// ProgressForm: what a long paste or delete shows while it runs: what it is doing, a
// progress bar, how many items are done of how many, and "取消". Skinned like the other
// forms; closing it, Escape and 取消 all ask the work to stop.

#include "runtime/Form.h"

#include <functional>
#include <string>

namespace cartulane::control {

class ProgressForm final : public Form {
public:
    // caption: "粘贴" or "删除"; doing: the verb shown before the current item.
    ProgressForm(std::wstring caption, std::wstring doing);

    void Update(size_t done, size_t total, const std::wstring& current);
    // The user asks the work to stop; the form stays until the work has ended.
    std::function<void()> Cancel;

private:
    void CreateControls() override;
    void Form_Load() override;
    bool Form_QueryUnload() override;
    void OnCommand(UINT id, UINT code) override;
    void RequestCancel();

    std::wstring doing_;
    HWND current_ = nullptr;
    HWND bar_ = nullptr;
    HWND count_ = nullptr;
    HWND cancel_ = nullptr;
    bool cancelling_ = false;
};

}  // namespace cartulane::control
