// The INF file's package in the driver store, by its published name.
#pragma once

#include "base/result.h"
#include "platform/win32_types.h"
#include "run/run_context.h"

namespace ostrel {

struct DriverPackage {
    char16_t inf[platform::MAX_PATH] = {};        // the INF file's full path
    char16_t published[platform::MAX_PATH] = {};  // its full path in the INF folder, once known

    // The published file name (oemNN.inf); empty while it is not known.
    const char16_t* Name() const;
};

// SetupCopyOEMInfW of the run's INF file, as a full path, with `style`:
// Done when the package has been staged, Unchanged when it was staged
// already (SP_COPY_NOOVERWRITE); either way `package.published` names it.
// Nothing is reported.
Result CopyToStore(const RunContext& run, DriverPackage& package, platform::DWORD style);

// One entry on the standard output handle, for the scripts that read a
// quiet run's answers; nothing when there is none.
void WriteOutput(const char16_t* text);

// The package's published name without staging it: Done with the name,
// NothingFound when the store does not hold it; a failure is reported
// (kMsgLookUpDriverFailed).
Result FindInStore(RunContext& run, DriverPackage& package);

}  // namespace ostrel
