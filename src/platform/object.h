// Shared objects. Every object is made with New<T>() and shared through Ref<T>: when the last
// reference goes, the object's Destructor() runs while the object is still whole (so an override
// in a subclass is honoured), and only then is it deleted.
#pragma once

#include <memory>
#include <utility>

#include "platform/exceptions.h"

namespace tintcheck {

class Object : public std::enable_shared_from_this<Object> {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;

    // Runs when the last reference is released, before any C++ destructor.
    virtual void Destructor() {}
};

namespace detail {
// Called by the deleter when Destructor() raised: nothing can catch an exception there, so it
// takes the same road as any exception that nobody catches.
[[noreturn]] void EndWithExceptionFromDestructor(std::exception_ptr error) noexcept;

struct ObjectDeleter {
    void operator()(Object* object) const noexcept {
        std::exception_ptr error;
        try {
            object->Destructor();
        } catch (...) {
            error = std::current_exception();
        }
        delete object;
        if (error) EndWithExceptionFromDestructor(error);
    }
};
}  // namespace detail

// A shared reference that raises NilObjectException when it is used while nil.
template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    explicit Ref(std::shared_ptr<T> object) : mObject(std::move(object)) {}
    template <class U>
        requires std::is_convertible_v<U*, T*>
    Ref(const Ref<U>& other) : mObject(other.Shared()) {}

    T* operator->() const { return &Checked(); }
    T& operator*() const { return Checked(); }
    T* Get() const noexcept { return mObject.get(); }
    const std::shared_ptr<T>& Shared() const noexcept { return mObject; }
    explicit operator bool() const noexcept { return mObject != nullptr; }
    bool IsNil() const noexcept { return mObject == nullptr; }
    void Release() noexcept { mObject.reset(); }

    friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.mObject == b.mObject; }

private:
    T& Checked() const {
        if (!mObject) throw NilObjectException();
        return *mObject;
    }

    std::shared_ptr<T> mObject;
};

template <class T, class... Args>
Ref<T> New(Args&&... args) {
    return Ref<T>(std::shared_ptr<T>(new T(std::forward<Args>(args)...), detail::ObjectDeleter{}));
}

}  // namespace tintcheck
