#include "base/result.h"

#include "platform/platform.h"

namespace ostrel {

Result Result::LastError() noexcept { return Failure(platform::GetLastError()); }

}  // namespace ostrel
