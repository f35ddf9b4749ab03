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

bool LookUpInfClass(const char16_t* infPath, InfClass& infClass)
{
    if (!platform::SetupDiGetINFClassW(infPath, &infClass.guid, infClass.name, platform::MAX_CLASS_NAME_LEN,
                                       nullptr)) {
        ReportError(kMsgGetInfClassFailed);
        return false;
    }
    if (IsNullGuid(infClass.guid)) {
        ShowCatalogueMessage(kMsgClassGuidMissing, platform::MB_ICONERROR);
        return false;
    }
    return true;
}

}  // namespace ostrel
