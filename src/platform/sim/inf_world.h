// INF files as the Setup API sees them: class, sections, driver models, and
// the file queues that install sections. Files themselves are registered with
// Machine::AddFile; this holds what the Setup API reads from them, and the
// registry values that installing their sections writes.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32_types.h"

namespace sim {

// An install section. A section the INF file lacks is simply not in its map.
struct InfSection {
    std::vector<std::u16string> files;                                      // destination paths the section copies
    std::vector<std::pair<std::u16string, std::u16string>> registryValues;  // key\name, value

    // What can go wrong with the section (ERROR_SUCCESS: nothing). Each one
    // fails its call with that last error.
    platform::DWORD queueError = platform::ERROR_SUCCESS;    // queuing its file operations
    platform::DWORD copyError = platform::ERROR_SUCCESS;     // copying its last file, in the commit;
                                                             // the files before it are copied
    platform::DWORD installError = platform::ERROR_SUCCESS;  // installing its other directives;
                                                             // no registry value is written then

    // Files (destination paths, as in `files`) whose source Machine::AddInf
    // leaves out of the INF file's folder: the default callback asks for
    // the disk when the queue reaches them (SPFILENOTIFY_NEEDMEDIA).
    std::set<std::u16string> missingSources;
    // Files whose every copy fails with the given error: committing reports
    // SPFILENOTIFY_COPYERROR for them.
    std::map<std::u16string, platform::DWORD> failingCopies;

    // SPFILEQ_ bits (0x1 file in use, 0x2 restart recommended) that
    // committing its files leaves on the queue, also when the commit fails
    // part of the way; the restart scan answers them.
    int restartFlags = 0;
};

struct InfFile {
    platform::GUID classGuid{};  // all zero when [Version] names no ClassGuid
    std::u16string className;
    std::map<std::u16string, InfSection> sections;  // keyed by folded section name
    std::set<std::u16string> models;                // hardware IDs (folded) with a driver here
    // What its driver key records once a device has its driver.
    std::u16string provider;
    std::u16string driverVersion;
    std::u16string driverDate;
};

struct InfWorld {
    std::map<std::u16string, InfFile> byPath;  // keyed by folded path

    // Registry values written by installed sections: "key\name" (folded) to
    // the value.
    std::map<std::u16string, std::u16string> registry;

    // Sections SetupInstallServicesFromInfSectionW installed, as named.
    std::vector<std::u16string> serviceSections;
    // The alternate progress window of each SetupInitDefaultQueueCallbackEx:
    // INVALID_HANDLE_VALUE asks for no progress window at all.
    std::vector<platform::HWND> progressWindows;
    // Notifications the default queue callback answered with a dialog (disk
    // prompt, copy error), in order; the simulated user cancels each.
    std::vector<platform::UINT> setupDialogs;

    const InfFile* Find(const std::u16string& path) const;
    // The value installed under "key\name" (any case), if any.
    std::optional<std::u16string> RegistryValue(const std::u16string& keyAndName) const;
};

}  // namespace sim
