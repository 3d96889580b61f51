// Exception classes of the host, named by kind. Host operations report failures by throwing
// these; the top-level failure report shows ClassName() and Message(). Code below the Lua
// boundary turns them into Lua errors and back (see lua/), never lets them unwind through C.
#pragma once

#include <exception>
#include <string>

namespace hv {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    // The class name shown in the failure report ("Exception", "EConvertError", ...).
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

#define HV_EXCEPTION_CLASS(Name, Base)                                    \
    class Name : public Base {                                            \
    public:                                                               \
        using Base::Base;                                                 \
        const char* ClassName() const noexcept override { return #Name; } \
    }

// Text that is not a number or boolean where one is required.
HV_EXCEPTION_CLASS(EConvertError, Exception);
// A file that cannot be read, written, created or renamed.
HV_EXCEPTION_CLASS(EInOutError, Exception);
// An argument outside what an operation accepts (an index past the end, a bad size).
HV_EXCEPTION_CLASS(ERangeError, Exception);
// The script engine reported an error; the message is the full error report.
HV_EXCEPTION_CLASS(EScriptError, Exception);

}  // namespace hv
