// The actions' keywords as the command line gives them, each with its blank:
// the action table matches them, and the log begins an action's lines with
// them. Defined once here, so that the executable holds each word once (a
// literal repeated in another file would be a copy of its own).
#pragma once

namespace ostrel {

inline constexpr char kInstallDeviceWord[] = "install device ";
inline constexpr char kRemoveDeviceWord[] = "remove device ";
inline constexpr char kDisableDeviceWord[] = "disable device ";
inline constexpr char kEnableDeviceWord[] = "enable device ";
inline constexpr char kStopServiceWord[] = "stop service ";
inline constexpr char kStartServiceWord[] = "start service ";
inline constexpr char kRemoveServiceWord[] = "remove service ";
inline constexpr char kInstallInfWord[] = "install inf ";
inline constexpr char kQueryDeviceWord[] = "query device ";
inline constexpr char kRestartDeviceWord[] = "restart device ";

}  // namespace ostrel
