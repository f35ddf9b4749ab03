#include "app/actions.h"

#include <algorithm>
#include <iterator>

#include "app/command_line.h"
#include "device/device.h"
#include "inf/inf.h"
#include "messages/messages.h"
#include "service/service.h"

namespace ostrel {

namespace {

// Tried in this order; the first match wins.
constexpr Action kActions[] = {
    {u"install device ", InstallDevice, kMsgHardwareIdMissing},
    {u"remove device ", RemoveDevice, kMsgHardwareIdMissing},
    {u"disable device ", DisableDevice, kMsgHardwareIdMissing},
    {u"enable device ", EnableDevice, kMsgHardwareIdMissing},
    {u"stop service ", StopNamedService, kMsgServiceNameMissing},
    {u"start service ", StartNamedService, kMsgServiceNameMissing},
    {u"remove service ", RemoveNamedService, kMsgServiceNameMissing},
    {u"install inf ", InstallInfSection, kMsgSectionNameMissing},
};

}  // namespace

const Action* FindAction(const char16_t* text)
{
    const auto* found = std::find_if(std::begin(kActions), std::end(kActions),
                                     [text](const Action& action) { return StartsWithWord(text, action.keyword); });
    return found == std::end(kActions) ? nullptr : found;
}

}  // namespace ostrel
