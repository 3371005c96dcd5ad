// The platform's exception family. Misuse of an operation raises a RuntimeException with a
// fixed message; calling through a nil reference raises NilObjectException; EndException and
// ThreadEndException end the application quietly.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tintcheck {

class RuntimeException : public std::exception {
public:
    RuntimeException() = default;
    explicit RuntimeException(std::string message, std::int32_t errorNumber = 0)
        : Message(std::move(message)), ErrorNumber(errorNumber) {}

    // The name the uncaught-exception report prints.
    virtual const char* ClassName() const noexcept { return "RuntimeException"; }
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
    std::int32_t ErrorNumber = 0;
};

class NilObjectException : public RuntimeException {
public:
    using RuntimeException::RuntimeException;
    const char* ClassName() const noexcept override { return "NilObjectException"; }
};

class OutOfBoundsException : public RuntimeException {
public:
    using RuntimeException::RuntimeException;
    const char* ClassName() const noexcept override { return "OutOfBoundsException"; }
};

// The host's own signal for ending the application: no report, no UnhandledException.
class EndException : public RuntimeException {
public:
    using RuntimeException::RuntimeException;
    const char* ClassName() const noexcept override { return "EndException"; }
};

class ThreadEndException : public RuntimeException {
public:
    using RuntimeException::RuntimeException;
    const char* ClassName() const noexcept override { return "ThreadEndException"; }
};

}  // namespace tintcheck
