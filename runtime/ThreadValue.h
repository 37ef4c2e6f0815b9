#pragma once
// A value for each thread, made at its first use there and reached through a plain pointer
// that has no destructor: a thread_local object would be destroyed at thread or library
// detach, under the loader lock, with whatever it holds. At unload it is abandoned.

namespace cartulane {

template <typename T>
T& ThreadValue() {
    thread_local T* value = nullptr;
    if (!value) value = new T();
    return *value;
}

}  // namespace cartulane
