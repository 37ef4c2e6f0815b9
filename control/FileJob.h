#pragma once
// FileJob: a paste or delete on a thread of its own, so that the application's thread goes
// on serving its messages. It posts its window a message once it is done; what it has done
// so far can be asked at any time. Destroying it stops the work between two items and waits
// for the thread to end.

#include "runtime/FileSystem.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace cartulane::control {

class FileJob final : private FileProgress {
public:
    using Work = std::function<HRESULT(FileProgress& progress)>;
    // Starts work on the job's thread; doneMessage is posted to window when it has ended.
    FileJob(Work work, HWND window, UINT doneMessage);
    ~FileJob() override;
    FileJob(const FileJob&) = delete;
    FileJob& operator=(const FileJob&) = delete;

    // Stops the work before its next item (a large file being copied, at once).
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }

    struct Status {
        size_t done = 0;
        size_t total = 0;
        std::wstring current;  // the item being done, or the last one (the one that failed)
    };
    Status Now() const;
    bool Finished() const { return finished_; }
    // What the work returned; S_OK until it has finished.
    HRESULT Result() const;
    // When it started (GetTickCount64).
    ULONGLONG StartedAt() const { return startedAt_; }

private:
    void Counted(size_t total) override;
    bool Next(size_t done, const std::wstring& path) override;
    bool Stopping() override { return cancelled_; }

    mutable std::mutex lock_;
    Status status_;
    HRESULT result_ = S_OK;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    const ULONGLONG startedAt_;
    std::thread thread_;
};

}  // namespace cartulane::control
