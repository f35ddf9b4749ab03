// The present devices of the INF file's class that list a hardware ID, one
// after the other, as every device action finds them.
#pragma once

#include "base/result.h"
#include "device/device_class.h"
#include "device/hardware_ids.h"
#include "platform/unique_handle.h"
#include "run/run_context.h"

namespace ostrel {

// A device's SPDRP_HARDWAREID list, of any length: read into a buffer of
// 520 bytes when it fits, else into memory of the size Windows reports.
class HardwareIdList {
public:
    HardwareIdList() = default;
    HardwareIdList(const HardwareIdList&) = delete;
    HardwareIdList& operator=(const HardwareIdList&) = delete;
    ~HardwareIdList() = default;

    // The failure of the read when the list cannot be had: the device has
    // none, no memory, or the list kept growing between reads.
    Result Read(platform::HDEVINFO set, platform::SP_DEVINFO_DATA& device);
    // Whether the list read last holds `id`; never reads past what Windows
    // gave.
    bool Holds(const char16_t* id) const { return HardwareIdListHolds(units_, size_, id); }

private:
    Result ReadAtSize(platform::HDEVINFO set, platform::SP_DEVINFO_DATA& device, platform::DWORD& required);

    HardwareIdBuffer fixed_{};
    platform::unique_local_memory grown_;
    char16_t* units_ = fixed_;
    std::size_t size_ = 0;  // units Windows gave
};

// The scan of one action over one hardware ID:
//
//   DeviceScan scan(run, u"remove device ", hardwareId);
//   if (Result opened = scan.Open(); opened.Failed()) return opened;
//   while (scan.Next()) { ...scan.Set(), scan.Device()... }
//   return scan.Finish();
class DeviceScan {
public:
    // `keyword`: the action's, with its blank, for the log.
    DeviceScan(RunContext& run, const char* keyword, const char16_t* hardwareId)
        : run_(run), keyword_(keyword), hardwareId_(hardwareId)
    {
        device_.cbSize = sizeof device_;
    }

    // The INF file's class and its present devices. A failure has been
    // reported (the class lookup, or kMsgGetClassDevicesFailed).
    Result Open();
    // Moves to the next present device that lists the ID; false once the
    // scan has ended. A device whose list cannot be read is passed over, and
    // the log says which and why.
    bool Next();
    // Ends the scan: a scan that ended on an error is reported
    // (kMsgScanDevicesFailed), and the log says how many present devices
    // listed the ID. Done, or NothingFound when none did.
    Result Finish();
    // Whether the scan ended on an error, not at the end of the list: then
    // it has not seen every device.
    bool BrokeOff() const { return end_.Failed() && end_.Error() != platform::ERROR_NO_MORE_ITEMS; }

    platform::HDEVINFO Set() const { return set_.get(); }
    platform::SP_DEVINFO_DATA& Device() { return device_; }
    // The device's place in the enumeration, for the log.
    platform::DWORD Index() const { return index_; }
    const platform::GUID& ClassGuid() const { return class_.guid; }

private:
    RunContext& run_;
    const char* keyword_;
    const char16_t* hardwareId_;
    InfClass class_;
    platform::unique_device_info_set set_;
    platform::SP_DEVINFO_DATA device_{};
    platform::DWORD index_ = 0;
    platform::DWORD next_ = 0;
    unsigned matching_ = 0;
    Result end_ = Result::Done();
    HardwareIdList ids_;
};

// Before a change in a quiet run: the class installer must not ask, and a
// device's failure to take the flag is that change's failure.
Result MakeQuiet(platform::HDEVINFO set, platform::SP_DEVINFO_DATA& device);

}  // namespace ostrel
