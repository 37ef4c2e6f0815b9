#include "tests/support/AddInFixture.h"

namespace cartulane::test {

void AddInFixture::CloseApplication() {
    host_.reset();
    ::CoFreeUnusedLibraries();
    ::CoFreeUnusedLibraries();
}

void AddInFixture::StartApplication(const wchar_t* version, int width, int height, bool visible) {
    host_ = std::make_unique<sheethost::HostWindow>();
    ASSERT_HRESULT_SUCCEEDED(host_->Create(L"sheethost", width, height, visible));
    host_->App().SetVersion(version);
    host_->LoadAddIns();
    host_->PumpMessages();
}

}  // namespace cartulane::test
