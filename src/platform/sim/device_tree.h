// The simulated device tree: device classes, devices, and the new-device
// library's driver update. Extended by the device operations' work.
#pragma once

namespace sim {

struct DeviceTree {};

}  // namespace sim
