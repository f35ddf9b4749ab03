#include "device/device_class.h"

#include <algorithm>
#include <iterator>

#include "messages/messages.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

bool IsNullGuid(const platform::GUID& guid)
{
    const platform::GUID nullGuid{};
    return guid.Data1 == nullGuid.Data1 && guid.Data2 == nullGuid.Data2 && guid.Data3 == nullGuid.Data3 &&
           std::equal(std::begin(guid.Data4), std::end(guid.Data4), std::begin(nullGuid.Data4));
}

}  // namespace

Result LookUpInfClass(RunContext& run, InfClass& infClass)
{
    // Some implementations (Wine's) refuse a file without setting an error
    // of their own: the failure then reads as one without a reason, not as
    // whatever an earlier call left.
    platform::SetLastError(platform::ERROR_SUCCESS);
    if (!platform::SetupDiGetINFClassW(run.infPath, &infClass.guid, infClass.name, platform::MAX_CLASS_NAME_LEN,
                                       nullptr))
        return Report(run, Result::LastError(), kMsgGetInfClassFailed);
    if (IsNullGuid(infClass.guid))
        return ReportAlone(run, Result::Failure(platform::ERROR_INVALID_CLASS), kMsgClassGuidMissing);
    return Result::Done();
}

}  // namespace ostrel
