// Service control by name: 1 when the service is (or already was) in the
// state asked for, 0 after a failure that has been shown.
#pragma once

namespace ostrel {

int StartNamedService(const char16_t* serviceName);
int StopNamedService(const char16_t* serviceName);
int RemoveNamedService(const char16_t* serviceName);

}  // namespace ostrel
