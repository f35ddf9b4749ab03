#include "run/output.h"

#include <algorithm>

#include "base/text.h"
#include "platform/last_error.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::size_t PutCodePoint(char32_t point, char* out)
{
    if (point < 0x80) {
        out[0] = static_cast<char>(point);
        return 1;
    }
    if (point < 0x800) {
        out[0] = static_cast<char>(0xC0 | (point >> 6));
        out[1] = static_cast<char>(0x80 | (point & 0x3F));
        return 2;
    }
    if (point < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (point >> 12));
        out[1] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (point & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (point >> 18));
    out[1] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (point & 0x3F));
    return 4;
}

}  // namespace

std::size_t EncodeUtf8(const char16_t* units, std::size_t count, char* out)
{
    std::size_t used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char32_t point = units[i];
        if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            point = 0x10000 + ((static_cast<char32_t>(units[i]) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
            point = kReplacement;
        }
        used += PutCodePoint(point, out + used);
    }
    return used;
}

void UnitWriter::Put(const char16_t* units, std::size_t count)
{
    while (count != 0) {
        if (used_ == kBlockUnits) WriteBlock(IsHighSurrogate(units_[used_ - 1]) ? used_ - 1 : used_);
        const std::size_t taken = std::min(count, kBlockUnits - used_);
        std::copy(units, units + taken, units_ + used_);
        used_ += taken;
        units += taken;
        count -= taken;
    }
}

void UnitWriter::Put(const char16_t* terminated) { Put(terminated, TextLength(terminated)); }

bool UnitWriter::Flush()
{
    if (used_ != 0) WriteBlock(used_);
    return !failed_;
}

// Writes the first `count` collected units and keeps the rest.
void UnitWriter::WriteBlock(std::size_t count)
{
    if (!failed_ && count != 0) {
        if (console_) {
            platform::DWORD written = 0;
            failed_ = platform::WriteConsoleW(handle_, units_, static_cast<platform::DWORD>(count), &written,
                                              nullptr) == platform::FALSE;
        } else {
            char bytes[kBlockUnits * 3];
            WriteBytes(bytes, EncodeUtf8(units_, count, bytes));
        }
    }
    std::copy(units_ + count, units_ + used_, units_);
    used_ -= count;
}

void UnitWriter::WriteBytes(const char* bytes, std::size_t count)
{
    while (count != 0 && !failed_) {
        platform::DWORD written = 0;
        if (platform::WriteFile(handle_, bytes, static_cast<platform::DWORD>(count), &written, nullptr) ==
                platform::FALSE ||
            written == 0 || written > count) {
            failed_ = true;
            return;
        }
        bytes += written;
        count -= written;
    }
}

bool StandardStream::Connect()
{
    if (tried_) return handle_ != nullptr;
    tried_ = true;
    platform::HANDLE handle = platform::GetStdHandle(which_);
    if (handle == nullptr || handle == platform::INVALID_HANDLE_VALUE) {
        // Another stream of the process may have attached already.
        if (platform::AttachConsole(platform::ATTACH_PARENT_PROCESS) == platform::FALSE &&
            platform::GetLastError() != platform::ERROR_ACCESS_DENIED)
            return false;
        ownedConsole_.reset(platform::CreateFileW(u"CONOUT$", platform::GENERIC_READ | platform::GENERIC_WRITE,
                                                  platform::FILE_SHARE_WRITE, nullptr, platform::OPEN_EXISTING, 0,
                                                  nullptr));
        if (!ownedConsole_) return false;
        handle = ownedConsole_.get();
    }
    platform::DWORD mode = 0;
    console_ = platform::GetConsoleMode(handle, &mode) != platform::FALSE;
    handle_ = handle;
    return true;
}

void StandardStream::WriteEntry(const char16_t* text)
{
    // Finding the handle calls the system; the caller's last error stays.
    const platform::last_error_guard kept;
    if (!Connect()) return;
    UnitWriter writer(handle_, console_);
    PutLines(writer, text, u"");
    writer.Put(u"\r\n");
}

}  // namespace ostrel
