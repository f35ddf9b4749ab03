#include "app/bitness.h"

#include "platform/platform.h"

namespace ostrel {

bool RunsUnderWow64(platform::USHORT& nativeMachine)
{
    platform::USHORT processMachine = platform::IMAGE_FILE_MACHINE_UNKNOWN;
    if (platform::IsWow64Process2(platform::GetCurrentProcess(), &processMachine, &nativeMachine))
        return processMachine != platform::IMAGE_FILE_MACHINE_UNKNOWN;
    platform::BOOL wow64 = platform::FALSE;
    nativeMachine = platform::IMAGE_FILE_MACHINE_AMD64;
    return platform::IsWow64Process(platform::GetCurrentProcess(), &wow64) && wow64 != platform::FALSE;
}

bool RunsX64Programs(platform::USHORT nativeMachine)
{
    return nativeMachine == platform::IMAGE_FILE_MACHINE_AMD64 || nativeMachine == platform::IMAGE_FILE_MACHINE_ARM64;
}

}  // namespace ostrel
