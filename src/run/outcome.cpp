#include "run/outcome.h"

namespace ostrel {

void Outcome::RecordFailure(platform::DWORD code)
{
    if (failed_) return;
    failed_ = true;
    failure_ = code == platform::ERROR_SUCCESS ? platform::ERROR_INSTALL_FAILURE : code;
}

platform::DWORD Outcome::ExitCode() const
{
    if (handedOver_) return childExitCode_;
    if (failed_) return failure_;
    if (logFailed_) return logFailure_;
    if (answer_ != 0) return answer_;
    if (restart_ == Restart::Started) return platform::ERROR_SUCCESS_REBOOT_INITIATED;
    if (restart_ == Restart::Needed) return platform::ERROR_SUCCESS_REBOOT_REQUIRED;
    if (deviceLeftAlone_) return platform::ERROR_NO_MORE_ITEMS;
    return platform::ERROR_SUCCESS;
}

}  // namespace ostrel
