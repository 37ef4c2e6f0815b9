#include "control/FileJob.h"

namespace cartulane::control {

FileJob::FileJob(Work work, HWND window, UINT doneMessage) : startedAt_(::GetTickCount64()) {
    thread_ = std::thread([this, work = std::move(work), window, doneMessage] {
        HRESULT hr;
        try {
            hr = work(*this);
        } catch (...) {
            hr = E_OUTOFMEMORY;
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            result_ = hr;
            if (SUCCEEDED(hr)) status_.done = status_.total;
        }
        finished_ = true;
        ::PostMessageW(window, doneMessage, 0, 0);
    });
}

FileJob::~FileJob() {
    Cancel();
    if (thread_.joinable()) thread_.join();
}

FileJob::Status FileJob::Now() const {
    std::lock_guard<std::mutex> guard(lock_);
    return status_;
}

HRESULT FileJob::Result() const {
    std::lock_guard<std::mutex> guard(lock_);
    return result_;
}

void FileJob::Counted(size_t total) {
    std::lock_guard<std::mutex> guard(lock_);
    status_.total = total;
}

bool FileJob::Next(size_t done, const std::wstring& path) {
    std::lock_guard<std::mutex> guard(lock_);
    status_.done = done;
    status_.current = path;
    return !cancelled_;
}

}  // namespace cartulane::control
