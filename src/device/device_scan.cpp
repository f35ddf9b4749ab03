#include "device/device_scan.h"

#include <cstring>

#include "base/error_names.h"
#include "base/numbers.h"
#include "messages/messages.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

// Another process may add IDs between two reads; a list that is still
// growing after this many is passed over.
constexpr int kMostReads = 3;

}  // namespace

// Reads into the memory at hand; `required` gets the size Windows reports.
Result HardwareIdList::ReadAtSize(platform::HDEVINFO set, platform::SP_DEVINFO_DATA& device, platform::DWORD& required)
{
    const platform::DWORD bytes = units_ == fixed_ ? sizeof fixed_ : required;
    std::memset(units_, 0, bytes);
    platform::DWORD reported = 0;
    if (!platform::SetupDiGetDeviceRegistryPropertyW(set, &device, platform::SPDRP_HARDWAREID, nullptr,
                                                     reinterpret_cast<platform::BYTE*>(units_), bytes, &reported)) {
        const Result failure = Result::LastError();
        required = reported;
        return failure;
    }
    // What Windows gave, never more than the memory: a list without its
    // closing empty string must not run on past it.
    size_ = (reported != 0 && reported <= bytes ? reported : bytes) / sizeof(char16_t);
    return Result::Done();
}

// Each read is made into memory cleared just before: a list that lacks its
// closing empty string must not run on into what the previous device left.
Result HardwareIdList::Read(platform::HDEVINFO set, platform::SP_DEVINFO_DATA& device)
{
    grown_.reset();
    units_ = fixed_;
    size_ = 0;
    platform::DWORD required = 0;
    Result read = ReadAtSize(set, device, required);
    for (int reads = 1; read.Error() == platform::ERROR_INSUFFICIENT_BUFFER && reads < kMostReads; ++reads) {
        if (required <= sizeof fixed_) return read;  // a size Windows cannot mean
        grown_.reset(platform::LocalAlloc(platform::LMEM_FIXED, required));
        if (!grown_) return Result::LastError();
        units_ = static_cast<char16_t*>(grown_.get());
        read = ReadAtSize(set, device, required);
    }
    return read;
}

Result DeviceScan::Open()
{
    const Result lookedUp = LookUpInfClass(run_, class_);
    if (lookedUp.Failed()) return lookedUp;
    set_.reset(platform::SetupDiGetClassDevsW(&class_.guid, nullptr, nullptr, platform::DIGCF_PRESENT));
    if (!set_) return Report(run_, Result::LastError(), kMsgGetClassDevicesFailed);
    return Result::Done();
}

bool DeviceScan::Next()
{
    for (; platform::SetupDiEnumDeviceInfo(set_.get(), next_, &device_); ++next_) {
        index_ = next_;
        const Result read = ids_.Read(set_.get(), device_);
        if (read.Failed()) {
            Text line;
            line.append(keyword_);
            line.append(hardwareId_);
            line.append(": present device #");
            AppendNumber(line, index_);
            line.append(" passed over, its hardware IDs cannot be read: ");
            AppendErrorCode(line, read.Error());
            run_.Trace(line);
            continue;
        }
        if (!ids_.Holds(hardwareId_)) continue;
        ++next_;
        ++matching_;
        return true;
    }
    end_ = Result::LastError();  // of the enumeration that ended the scan
    return false;
}

Result DeviceScan::Finish()
{
    if (BrokeOff()) static_cast<void>(Report(run_, end_, kMsgScanDevicesFailed));
    run_.Trace(keyword_, hardwareId_, ": ", Decimal(matching_).c_str(), " of ", Decimal(next_).c_str(),
               " present devices of the class list it");
    return matching_ == 0 ? Result::NothingFound() : Result::Done();
}

Result MakeQuiet(platform::HDEVINFO set, platform::SP_DEVINFO_DATA& device)
{
    platform::SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (!platform::SetupDiGetDeviceInstallParamsW(set, &device, &params)) return Result::LastError();
    params.Flags |= platform::DI_QUIETINSTALL;
    if (!platform::SetupDiSetDeviceInstallParamsW(set, &device, &params)) return Result::LastError();
    return Result::Done();
}

}  // namespace ostrel
