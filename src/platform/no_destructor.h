// Process-wide objects whose destructors must never run. The module's
// runtime runs the destructors of static objects when the module leaves the
// process, also when the process is ending: other threads are gone by then,
// possibly holding the heap's lock or one of ours, and a destructor that
// frees memory or takes a lock hangs the exit. A NoDestructor object is
// built in place and is never destroyed; what it holds is given back by the
// module's exit where that runs, and by the system at process end.
//
// Portable: the document engine keeps its scratch blocks in them too.
#pragma once

#include <new>
#include <utility>

namespace platform {

template <class T>
class NoDestructor {
public:
    template <class... Args>
    explicit NoDestructor(Args&&... args) {
        new (m_storage) T(std::forward<Args>(args)...);
    }
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;

    T& operator*() noexcept { return *get(); }
    T* operator->() noexcept { return get(); }
    T* get() noexcept { return std::launder(reinterpret_cast<T*>(m_storage)); }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};

}  // namespace platform
