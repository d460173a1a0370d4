#pragma once

namespace kvl {

// One program-wide instance pointer per class: set by the constructor,
// cleared by the destructor. Code creates a module only while it is null.
template <class T>
class Singleton {
public:
    // The base pointer is kept, not T*: T is not constructed yet when the
    // pointer is set, and is already gone when it is cleared.
    static T* Instance() { return static_cast<T*>(s_instance); }

protected:
    Singleton() { s_instance = this; }
    ~Singleton() {
        if (s_instance == this) s_instance = nullptr;
    }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

private:
    static inline Singleton* s_instance = nullptr;
};

} // namespace kvl
