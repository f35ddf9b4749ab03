// Resources of the program's own module: the string tables of the messages.
#include "platform/platform.h"

#include "platform/windows/win_cast.h"

namespace platform {

using win::Module;
using win::Resource;
using win::Wide;

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    return ::FindResourceW(Module(module), Wide(name), Wide(type));
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    return ::FindResourceExW(Module(module), Wide(type), Wide(name), language);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) { return ::LoadResource(Module(module), Resource(resource)); }

void* LockResource(HGLOBAL resource) { return ::LockResource(resource); }

DWORD SizeofResource(HMODULE module, HRSRC resource) { return ::SizeofResource(Module(module), Resource(resource)); }

}  // namespace platform
