// Conversions between the platform layer's own types and the SDK's.
//
// Text: char16_t and wchar_t are both UTF-16 code units on Windows, so a
// pointer to one is a pointer to the other. Handles: the platform layer keeps
// every handle as void*, the SDK declares distinct pointer types.
// Structures: layout_checks.cpp proves that each one matches the SDK's.
#pragma once

#include "platform/win32_types.h"

#include <windows.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 code unit on Windows");

namespace platform::win {

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline char16_t* Utf16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }
inline const char16_t* Utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

inline ::HWND Window(void* window) { return static_cast<::HWND>(window); }
inline ::HMODULE Module(void* module) { return static_cast<::HMODULE>(module); }
inline ::HRSRC Resource(void* resource) { return static_cast<::HRSRC>(resource); }
inline ::SC_HANDLE ServiceHandle(void* handle) { return static_cast<::SC_HANDLE>(handle); }

template <typename SdkType, typename OwnType>
SdkType* Sdk(OwnType* value)
{
    static_assert(sizeof(SdkType) == sizeof(OwnType), "same layout as the SDK's structure");
    return reinterpret_cast<SdkType*>(value);
}

template <typename SdkType, typename OwnType>
const SdkType* Sdk(const OwnType* value)
{
    static_assert(sizeof(SdkType) == sizeof(OwnType), "same layout as the SDK's structure");
    return reinterpret_cast<const SdkType*>(value);
}

}  // namespace platform::win
