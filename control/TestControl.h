#pragma once
// TestControl: the task pane's user control. Seven command buttons over the folder
// tree, a splitter, the caption of the workbook tree and the workbook tree, laid out
// on every resize; its public interface is _TestControl.

#include "Tabrix_h.h"
#include "control/TreeView.h"
#include "runtime/ActiveXControl.h"
#include "runtime/ComServer.h"
#include "runtime/Form.h"

#include <array>

namespace cartulane::control {

class TestControl final : public com::ComObject<TestControl, ActiveXControl, com::TypeLibDispatch<_TestControl>,
                                                 ISupportErrorInfo> {
public:
    TestControl();
    ~TestControl();
    static const QITAB* Interfaces();

    // _TestControl
    STDMETHODIMP put_Application(IDispatch* application) override;
    STDMETHODIMP get_Application(IDispatch** application) override;
    STDMETHODIMP FillTvw() override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    void OnCreate() override;
    LRESULT OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;
    void OnDestroy() override;

    HRESULT FillWorkbookTree();
    void UserControl_Resize();
    void TreeView1_NodeClick(Node& node);
    HRESULT TreeView1_MouseUp(int button, int shift, float x, float y);
    HRESULT Command7_Click();
    void Image1_MouseDown(int button, int shift, float x, float y);
    HRESULT Image1_MouseMove(int button, int shift, float x, float y);
    // The splitter has no window: the control routes the mouse to it.
    bool RouteMouseToImage1(UINT message, WPARAM wParam, LPARAM lParam);

    ComPtr<IDispatch> Application;
    float SplitY = 0;
    bool splitterCaptured_ = false;
    Dpi dpi_;
    UniqueFont font_;
    UniqueImageList ImageList1;

    std::array<FormControl, 7> commands_;  // Command1 to Command7
    FormControl& Command1 = commands_[0];
    TreeView TreeView1;
    TreeView TreeView2;
    FormControl Image1{0, 4560, 3615, 105};
    FormControl Label1{0, 4800, 3615, 255};
};

}  // namespace cartulane::control
