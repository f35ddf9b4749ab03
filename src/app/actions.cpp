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

int StartNamed(const char16_t* /*infPath*/, const char16_t* name, platform::BOOL* /*rebootNeeded*/)
{
    return StartNamedService(name);
}

int StopNamed(const char16_t* /*infPath*/, const char16_t* name, platform::BOOL* /*rebootNeeded*/)
{
    return StopNamedService(name);
}

int RemoveNamed(const char16_t* /*infPath*/, const char16_t* name, platform::BOOL* /*rebootNeeded*/)
{
    return RemoveNamedService(name);
}

// Tried in this order; the first match wins.
constexpr Action kActions[] = {
    {u"install device ", InstallDevice, kMsgHardwareIdMissing},
    {u"remove device ", RemoveDevice, kMsgHardwareIdMissing},
    {u"disable device ", DisableDevice, kMsgHardwareIdMissing},
    {u"enable device ", EnableDevice, kMsgHardwareIdMissing},
    {u"stop service ", StopNamed, kMsgServiceNameMissing},
    {u"start service ", StartNamed, kMsgServiceNameMissing},
    {u"remove service ", RemoveNamed, kMsgServiceNameMissing},
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
