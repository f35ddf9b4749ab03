// What a run has come to, as a quiet run's exit code tells it to the
// deployment system that started it.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

enum class Restart { NotNeeded, Needed, Started };

class Outcome {
public:
    // The first failure decides the exit code; later ones change nothing. A
    // failure that left no error code counts as ERROR_INSTALL_FAILURE. Only
    // the reporter records failures, as it shows them.
    void RecordFailure(platform::DWORD code);
    // A write to the log failed: the exit code says so only when nothing
    // else failed, since the log is a record of the work, not the work.
    void RecordLogFailure(platform::DWORD code)
    {
        logFailed_ = true;
        logFailure_ = code == platform::ERROR_SUCCESS ? platform::ERROR_INSTALL_FAILURE : code;
    }
    // "install device" left a device alone because it has a newer driver.
    void RecordDeviceLeftAlone() { deviceLeftAlone_ = true; }
    // A change that Windows completes only after a restart. Never cleared:
    // what an earlier argument needs stays needed.
    void RecordRestartNeeded()
    {
        if (restart_ == Restart::NotNeeded) restart_ = Restart::Needed;
    }
    void RecordRestartStarted() { restart_ = Restart::Started; }
    // What a query found, as its own exit code; the first one that is not 0
    // stays.
    void RecordAnswer(platform::DWORD code)
    {
        if (answer_ == 0) answer_ = code;
    }
    // The 64-bit program ran the whole run; its exit code is the run's.
    void RecordHandedOver(platform::DWORD childExitCode)
    {
        handedOver_ = true;
        childExitCode_ = childExitCode;
    }

    bool Failed() const { return failed_; }
    Restart RestartState() const { return restart_; }
    // The child's code after a hand-over; else the failure's code, else the
    // failed log write's, else a query's answer, else 1641 for a restart
    // started, 3010 for one needed, 259 for a device left alone, else 0.
    platform::DWORD ExitCode() const;

private:
    bool failed_ = false;
    platform::DWORD failure_ = 0;
    bool logFailed_ = false;
    platform::DWORD logFailure_ = 0;
    bool deviceLeftAlone_ = false;
    platform::DWORD answer_ = 0;
    Restart restart_ = Restart::NotNeeded;
    bool handedOver_ = false;
    platform::DWORD childExitCode_ = 0;
};

}  // namespace ostrel
