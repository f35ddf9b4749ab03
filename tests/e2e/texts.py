"""What the end-to-end tests compare against: the program's catalogue texts
(English, and German after /de), Wine's system texts, and the shapes a
report takes in a box and on standard error.

The catalogue's texts are written out here, not read from res/messages.rc,
so that a changed text in the program fails a test. "{}" stands for the
catalogue's %1.
"""

CAPTION = "Ostrel Setup Utility"

# ---------- the catalogue ----------

HARDWARE_ID_MISSING = "Invalid command line - hardware ID missing."
HARDWARE_ID_MISSING_DE = "Ungültige Kommandozeile - Hardware ID fehlt."
SERVICE_NAME_MISSING = "Invalid command line - service name missing."
SERVICE_NAME_MISSING_DE = "Ungültige Kommandozeile - Dienstname fehlt."
SECTION_NAME_MISSING = "Invalid command line - section name missing."
INSTALL_FAILED = "Install failed.\n{}"
INSTALL_FAILED_DE = "Die Installation konnte nicht durchgeführt werden.\n{}"
INVALID_COMMAND_LINE = "Invalid command line. Call 'OstrelSetup help' for more information."
INVALID_COMMAND_LINE_DE = "Ungültige Kommandozeile. Rufen Sie 'OstrelSetup help' für mehr Informationen auf."
NO_CLASS_GUID = "ClassGuid entry missing in INF file."
GET_CLASS_FAILED = "Get device class from INF file failed."
DISABLE_DEVICE_FAILED = "Disable device {} failed."
ENABLE_DEVICE_FAILED = "Enable device {} failed."
OPEN_INF_FAILED = "Open of .inf file failed."
OPEN_INF_FAILED_DE = "Die .inf Datei kann nicht geöffnet werden."
FILE_QUEUE_FAILED = "Execution of file queue operations failed."
OPEN_SERVICE_FAILED = "Open of service {} failed."
OPEN_SERVICE_FAILED_DE = "Der Dienst {} kann nicht geöffnet werden."
OPEN_LOG_FAILED = "Open of log file {} failed."
NEEDS_64_BIT = "Devices on 64-bit Windows need the 64-bit OstrelSetup: x64\\OstrelSetup.exe beside this program."
START_SIBLING_FAILED = "Start of the 64-bit OstrelSetup {} failed."
STOP_NOT_COMPLETED = "Stop of service {} not completed: the service reports {}."
LOG_IS_A_RUN_FILE = ("Log file {} is a file this run works with (the INF file or the program): "
                     "nothing is written to it.")
RESTART_DEVICE_FAILED = "Restart of device {} failed."
RESCAN_FAILED = "Scan for hardware changes failed."
QUERY_DEVICES = "Devices with hardware ID {}:"
QUERY_NO_DEVICE = "No present device has hardware ID {}."

# What a quiet "query device" writes before its lines, and the codes it ends
# with when not every ID has a started device with this package's driver.
QUERY_HEADER = "HardwareId\tInstanceId\tState\tProblem\tProblemName\tInf\tProvider\tVersion\tDate\tThisPackage"
QUERY_NO_DEVICE_CODE = 0x20000001
QUERY_OTHER_DRIVER_CODE = 0x20000002
QUERY_NOT_STARTED_CODE = 0x20000003

USAGE = "\n".join([
    "OstrelSetup can be used to install/remove/disable/enable devices and",
    "start/stop/remove services.",
    "",
    "Command Line:",
    "OstrelSetup.exe [<Options>] [<Action> <Arguments>]",
    "",
    "Actions and their arguments:",
    "- Install a Pnp device: 'install device {<hwid>}'",
    "- Remove a Pnp device: 'remove device {<hwid>}'",
    "- Disable a device: 'disable device {<hwid>}'",
    "- Enable a device: 'enable device {<hwid>}'",
    "- Stop a service: 'stop service {<name>}'",
    "- Start a service: 'start service {<name>}'",
    "- Remove a service: 'remove service {<name>}'",
    "- Install INF file section: 'install inf {<name>}'",
    "- Stage the driver package of the .inf file: 'add driver'",
    "- Remove that package from the driver store: 'delete driver'",
    "- Show devices, their state and driver: 'query device {<hwid>}'",
    "- Restart a device: 'restart device {<hwid>}'",
    "- Scan for hardware changes: 'rescan'",
    "",
    "OstrelSetup requires an .inf file for device specific action (default is",
    "ostrelsetup.inf). <hwid> is the hardware ID of the device. There must be a",
    "corresponding device entry in ostrelsetup.inf.",
    "",
    "If OstrelSetup is called without any argument, the default install section",
    "of ostrelsetup.inf is executed (as in the Explorer after right-click on the",
    "inf file and choosing 'Install').",
    "",
    "Options:",
    "",
    "/reboot = perform reboot if required (default: show message only)",
    "/de = use german messages/en = use english messages/f <file> = specify .inf file",
    "/quiet or /q = no message boxes: messages go to standard error, the exit code tells the outcome",
    "/log <file> = append a log of the run to <file>",
    "/wait <seconds> = wait at most this long for devices and services to settle (quiet: 120)",
    "/? = show this text (as 'help' does)",
])

# ---------- Wine's system texts ----------

# FormatMessageW's wording under Wine, without the line end it gives.
ACCESS_DENIED = "Access denied."
FILE_INVALID = "File invalid."
FILE_NOT_FOUND = "File not found."
GENERAL_FAILURE = "General failure."
PATH_NOT_FOUND = "Path not found."  # also GetFileAttributesW's answer to an empty path
SERVICE_DOES_NOT_EXIST = "Service does not exist."
SUCCESS = "Success."

# ---------- reports ----------


def box(text, icon="error"):
    """A box as the reader logs it: the program's caption, the text, the icon."""
    return (CAPTION, text, icon)


def error_box(text):
    return box(text, "error")


USAGE_BOX = box(USAGE, "information")


class OwnLine(str):
    """A report's second line that the program writes itself, where Wine has
    no text: without the CR that Wine's texts keep."""


# A call that failed without leaving an error code (Wine's class lookup and
# property change do that).
NO_REASON = OwnLine("The call failed without giving a reason.")
NO_REASON_DE = OwnLine("Der Aufruf ist ohne Angabe eines Grundes fehlgeschlagen.")


def code_line(code, name=None):
    """The line for a code Wine has no text for: 0xE000020B (ERROR_NO_SUCH_DEVINST)."""
    return OwnLine(f"0x{code:08X}" + (f" ({name})" if name else ""))


def box_text(message, system=None):
    """An error report in a box: the message, then on its own line the
    system text of the last error. The program removes only the line feed
    of Wine's CR LF, so the CR stays."""
    if system is None:
        return message
    if isinstance(system, OwnLine):
        return message + "\n" + system
    return message + "\n" + system + "\r"


def stderr_text(message, system=None):
    """The same report as a quiet run writes it to standard error."""
    return message + "\r\n" + (system + "\r\n" if system is not None else "")
