#include "app/usage_text.h"

namespace ostrel {

// One line holds three options with no line break between them, and the
// text ends without a line feed.
const char16_t* UsageText()
{
    return u"OstrelSetup can be used to install/remove/disable/enable devices and\n"
           u"start/stop/remove services.\n"
           u"\n"
           u"Command Line:\n"
           u"OstrelSetup.exe [<Options>] [<Action> <Arguments>]\n"
           u"\n"
           u"Actions and their arguments:\n"
           u"- Install a Pnp device: 'install device {<hwid>}'\n"
           u"- Remove a Pnp device: 'remove device {<hwid>}'\n"
           u"- Disable a device: 'disable device {<hwid>}'\n"
           u"- Enable a device: 'enable device {<hwid>}'\n"
           u"- Stop a service: 'stop service {<name>}'\n"
           u"- Start a service: 'start service {<name>}'\n"
           u"- Remove a service: 'remove service {<name>}'\n"
           u"- Install INF file section: 'install inf {<name>}'\n"
           u"- Stage the driver package of the .inf file: 'add driver'\n"
           u"- Remove that package from the driver store: 'delete driver'\n"
           u"- Show devices, their state and driver: 'query device {<hwid>}'\n"
           u"- Restart a device: 'restart device {<hwid>}'\n"
           u"- Scan for hardware changes: 'rescan'\n"
           u"\n"
           u"OstrelSetup requires an .inf file for device specific action (default is\n"
           u"ostrelsetup.inf). <hwid> is the hardware ID of the device. There must be a\n"
           u"corresponding device entry in ostrelsetup.inf.\n"
           u"\n"
           u"If OstrelSetup is called without any argument, the default install section\n"
           u"of ostrelsetup.inf is executed (as in the Explorer after right-click on the\n"
           u"inf file and choosing 'Install').\n"
           u"\n"
           u"Options:\n"
           u"\n"
           u"/reboot = perform reboot if required (default: show message only)\n"
           u"/de = use german messages/en = use english messages/f <file> = specify .inf file\n"
           u"/quiet or /q = no message boxes: messages go to standard error, the exit code tells the outcome\n"
           u"/log <file> = append a log of the run to <file>\n"
           u"/wait <seconds> = wait at most this long for devices and services to settle (quiet: 120)\n"
           u"/? = show this text (as 'help' does)";
}

}  // namespace ostrel
