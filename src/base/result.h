// What a step of the run came to: the one answer of every operation and of
// every helper that can fail.
//
// A failure carries the Win32 error taken at the failing call, never read
// from the thread later, when other calls may have changed it. The reporter
// (messages.h, Report) shows a failure, logs it and records it as the run's
// outcome, once, and hands it back marked as reported; whoever gets a failure
// back passes it on unchanged. Whether a walk over arguments goes on is
// decided from the result alone: it stops at a failure.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

class [[nodiscard]] Result {
public:
    // The step did what it was asked.
    static constexpr Result Done() noexcept { return Result(Kind::kDone, platform::ERROR_SUCCESS); }
    // A success that changes nothing: what was asked already was so (a
    // service already running or stopped, a newer driver in place).
    static constexpr Result Unchanged() noexcept { return Result(Kind::kUnchanged, platform::ERROR_SUCCESS); }
    // Nothing to act on: no present device lists the ID. Not a failure.
    static constexpr Result NothingFound() noexcept { return Result(Kind::kNothingFound, platform::ERROR_SUCCESS); }
    // A failure with the error the failing call left; 0 when it left none.
    static constexpr Result Failure(platform::DWORD error) noexcept { return Result(Kind::kFailed, error); }
    // A failure with the thread's last error, read now: directly after the
    // call that failed, before anything else is called.
    static Result LastError() noexcept;

    bool Failed() const noexcept { return kind_ == Kind::kFailed; }
    bool IsDone() const noexcept { return kind_ == Kind::kDone; }
    bool IsUnchanged() const noexcept { return kind_ == Kind::kUnchanged; }
    bool IsNothingFound() const noexcept { return kind_ == Kind::kNothingFound; }
    // The failure's error; ERROR_SUCCESS for every success.
    platform::DWORD Error() const noexcept { return error_; }

    // Whether the failure has been shown, logged and recorded.
    bool Reported() const noexcept { return reported_; }
    Result AsReported() const noexcept
    {
        Result reported = *this;
        reported.reported_ = true;
        return reported;
    }

private:
    enum class Kind : unsigned char { kDone, kUnchanged, kNothingFound, kFailed };
    constexpr Result(Kind kind, platform::DWORD error) noexcept : kind_(kind), error_(error) {}

    Kind kind_;
    bool reported_ = false;
    platform::DWORD error_;
};

}  // namespace ostrel
