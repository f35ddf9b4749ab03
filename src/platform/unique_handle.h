// One owning type per kind of platform object, built on one small template
// that knows the object's invalid value and its release call.
//
// Declared in the order of creation, they are released in reverse on every
// path. The result of a release is never looked at, and a release never
// disturbs the thread's last error: an owner often goes out of scope between
// a failing call and the code that takes its error.
#pragma once

#include <utility>

#include "platform/last_error.h"
#include "platform/platform.h"

namespace platform {

template <typename Traits>
class unique_handle {
public:
    using pointer = typename Traits::pointer;

    unique_handle() noexcept = default;
    explicit unique_handle(pointer value) noexcept : value_(value) {}
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle(unique_handle&& other) noexcept : value_(other.release()) {}
    unique_handle& operator=(unique_handle&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_handle() { reset(); }

    pointer get() const noexcept { return value_; }
    bool is_valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return is_valid(); }

    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }
    void reset(pointer value = Traits::invalid()) noexcept
    {
        pointer old = std::exchange(value_, value);
        if (old == Traits::invalid()) return;
        const last_error_guard kept;
        Traits::close(old);
    }

private:
    pointer value_ = Traits::invalid();
};

namespace handle_traits {

struct device_info_set {
    using pointer = HDEVINFO;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer set) noexcept { SetupDiDestroyDeviceInfoList(set); }
};

struct inf_file {
    using pointer = HINF;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer inf) noexcept { SetupCloseInfFile(inf); }
};

struct file_queue {
    using pointer = HSPFILEQ;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer queue) noexcept { SetupCloseFileQueue(queue); }
};

struct queue_callback_context {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer context) noexcept { SetupTermDefaultQueueCallback(context); }
};

struct service {
    using pointer = SC_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { CloseServiceHandle(handle); }
};

struct library {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer module) noexcept { FreeLibrary(module); }
};

// Kernel objects whose failure value is null: processes, threads, tokens.
struct kernel_object {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer object) noexcept { CloseHandle(object); }
};

// Files, whose failure value is INVALID_HANDLE_VALUE.
struct file {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer object) noexcept { CloseHandle(object); }
};

// Keys that the Setup API opens, whose failure value is INVALID_HANDLE_VALUE.
struct registry_key {
    using pointer = HKEY;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer key) noexcept { RegCloseKey(key); }
};

struct local_memory {
    using pointer = HLOCAL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer memory) noexcept { LocalFree(memory); }
};

}  // namespace handle_traits

using unique_device_info_set = unique_handle<handle_traits::device_info_set>;
using unique_inf_file = unique_handle<handle_traits::inf_file>;
using unique_file_queue = unique_handle<handle_traits::file_queue>;
using unique_queue_callback_context = unique_handle<handle_traits::queue_callback_context>;
using unique_service_handle = unique_handle<handle_traits::service>;
using unique_library = unique_handle<handle_traits::library>;
using unique_local_memory = unique_handle<handle_traits::local_memory>;
using unique_kernel_handle = unique_handle<handle_traits::kernel_object>;
using unique_file_handle = unique_handle<handle_traits::file>;
using unique_registry_key = unique_handle<handle_traits::registry_key>;

}  // namespace platform
