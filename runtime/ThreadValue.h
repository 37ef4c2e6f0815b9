#pragma once
// A value for each thread, made at its first use there and reached through a plain pointer
// that has no destructor: a thread_local object would be destroyed at thread or library
// detach, under the loader lock, with whatever it holds. LetGo deletes this thread's value
// at a moment the module chooses; at unload what is left is abandoned.

#include <utility>

namespace cartulane {

template <typename T>
class ThreadValue {
public:
    static T& Get() {
        T*& value = Slot();
        if (!value) value = new T();
        return *value;
    }
    // The next Get makes it anew.
    static void LetGo() { delete std::exchange(Slot(), nullptr); }

private:
    static T*& Slot() {
        thread_local T* value = nullptr;
        return value;
    }
};

}  // namespace cartulane
