// The registry, as far as the program reads it: values of the keys the
// Setup API opens for it.
#include "platform/platform.h"

#include "platform/windows/win_cast.h"

namespace platform {

using win::Wide;

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize)
{
    return ::RegQueryValueExW(static_cast<::HKEY>(key), Wide(valueName), reserved, type, data, dataSize);
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(static_cast<::HKEY>(key)); }

}  // namespace platform
