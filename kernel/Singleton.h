#pragma once

namespace kvl {

// One program-wide instance pointer per class: set by the constructor,
// cleared by the destructor. Code creates a module only while it is null.
template <class T>
class Singleton {
public:
    static T* Instance() { return s_instance; }

protected:
    Singleton() { s_instance = static_cast<T*>(this); }
    ~Singleton() {
        if (s_instance == static_cast<T*>(this)) s_instance = nullptr;
    }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

private:
    static inline T* s_instance = nullptr;
};

} // namespace kvl
