#include "app/usage_text.h"

#include <cstddef>

namespace ostrel {

namespace {

// One line holds three options with no line break between them, and the
// text ends without a line feed. Plain ASCII, kept narrow: in UTF-16 it
// would take twice the room in the executable.
constexpr char kUsage[] =
    "OstrelSetup can be used to install/remove/disable/enable devices and\n"
    "start/stop/remove services.\n"
    "\n"
    "Command Line:\n"
    "OstrelSetup.exe [<Options>] [<Action> <Arguments>]\n"
    "\n"
    "Actions and their arguments:\n"
    "- Install a Pnp device: 'install device {<hwid>}'\n"
    "- Remove a Pnp device: 'remove device {<hwid>}'\n"
    "- Disable a device: 'disable device {<hwid>}'\n"
    "- Enable a device: 'enable device {<hwid>}'\n"
    "- Stop a service: 'stop service {<name>}'\n"
    "- Start a service: 'start service {<name>}'\n"
    "- Remove a service: 'remove service {<name>}'\n"
    "- Install INF file section: 'install inf {<name>}'\n"
    "- Stage the driver package of the .inf file: 'add driver'\n"
    "- Remove that package from the driver store: 'delete driver'\n"
    "- Show devices, their state and driver: 'query device {<hwid>}'\n"
    "- Restart a device: 'restart device {<hwid>}'\n"
    "- Scan for hardware changes: 'rescan'\n"
    "\n"
    "OstrelSetup requires an .inf file for device specific action (default is\n"
    "ostrelsetup.inf). <hwid> is the hardware ID of the device. There must be a\n"
    "corresponding device entry in ostrelsetup.inf.\n"
    "\n"
    "If OstrelSetup is called without any argument, the default install section\n"
    "of ostrelsetup.inf is executed (as in the Explorer after right-click on the\n"
    "inf file and choosing 'Install').\n"
    "\n"
    "Options:\n"
    "\n"
    "/reboot = perform reboot if required (default: show message only)\n"
    "/de = use german messages/en = use english messages/f <file> = specify .inf file\n"
    "/quiet or /q = no message boxes: messages go to standard error, the exit code tells the outcome\n"
    "/log <file> = append a log of the run to <file>\n"
    "/wait <seconds> = wait at most this long for devices and services to settle (quiet: 120)\n"
    "/? = show this text (as 'help' does)";

constexpr bool IsAscii(const char* text)
{
    for (; *text != '\0'; ++text)
        if (static_cast<unsigned char>(*text) > 0x7F) return false;
    return true;
}
static_assert(IsAscii(kUsage), "widened unit by unit, the text must be ASCII");

}  // namespace

const char16_t* UsageText()
{
    // Zero-filled (no room in the file); widened again at each call, which
    // writes the same units.
    static char16_t widened[sizeof kUsage];
    for (std::size_t i = 0; i < sizeof kUsage; ++i) widened[i] = static_cast<char16_t>(kUsage[i]);
    return widened;
}

}  // namespace ostrel
