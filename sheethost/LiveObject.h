#pragma once
// Counts sheethost's COM objects while they live, so that a test can tell that
// everything handed to a control or an add-in came back.

namespace cartulane::sheethost {

long LiveObjects();

class LiveObject {
protected:
    LiveObject();
    ~LiveObject();
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

}  // namespace cartulane::sheethost
