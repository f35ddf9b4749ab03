#include "base/text.h"

#include <cstring>
#include <utility>

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel {

namespace {

// Small enough that the byte count of a text with its terminator, and the
// doubling of a capacity, can never overflow.
constexpr std::size_t kMostUnits = static_cast<std::size_t>(-1) / sizeof(char16_t) / 4;
// A first allocation large enough for most messages in one go.
constexpr std::size_t kFirstCapacity = 128;

std::size_t Larger(std::size_t a, std::size_t b) { return a > b ? a : b; }

}  // namespace

std::size_t TextLength(const char16_t* text, std::size_t most) noexcept
{
    std::size_t length = 0;
    while (length < most && text[length] != u'\0') ++length;
    return length;
}

char16_t FoldLetter(char16_t c) noexcept { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

Text::Text(Text&& other) noexcept
    : units_(std::exchange(other.units_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      failed_(std::exchange(other.failed_, false))
{
}

Text& Text::operator=(Text&& other) noexcept
{
    if (this != &other) {
        Release();
        units_ = std::exchange(other.units_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        failed_ = std::exchange(other.failed_, false);
    }
    return *this;
}

Text::~Text() { Release(); }

void Text::Release() noexcept
{
    if (units_ != nullptr) platform::LocalFree(units_);
    units_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

// Moves the text into fresh memory for `units` (terminator excluded). The
// old memory is handed to the caller in `previous`, so that an append whose
// units lie in it can still read them.
bool Text::Grow(std::size_t units, void*& previous) noexcept
{
    auto* grown = static_cast<char16_t*>(platform::LocalAlloc(platform::LMEM_FIXED, (units + 1) * sizeof(char16_t)));
    if (grown == nullptr) {
        failed_ = true;
        return false;
    }
    if (size_ != 0) std::memcpy(grown, units_, size_ * sizeof(char16_t));
    grown[size_] = u'\0';
    previous = units_;
    units_ = grown;
    capacity_ = units;
    return true;
}

bool Text::reserve(std::size_t units) noexcept
{
    if (failed_) return false;
    if (units <= capacity_) return true;
    if (units > kMostUnits) {
        failed_ = true;
        return false;
    }
    void* previous = nullptr;
    const bool grown = Grow(units, previous);
    const platform::unique_local_memory released(previous);
    return grown;
}

// Room for `count` more units (growing as appends do), or false with the
// text failed. The old memory is handed on as by Grow.
bool Text::MakeRoom(std::size_t count, void*& previous) noexcept
{
    if (failed_) return false;
    if (count > kMostUnits - size_) {
        failed_ = true;
        return false;
    }
    return size_ + count <= capacity_ || Grow(Larger(size_ + count, Larger(2 * capacity_, kFirstCapacity)), previous);
}

bool Text::append(const char16_t* units, std::size_t count) noexcept
{
    if (count == 0) return !failed_;
    void* previous = nullptr;
    if (!MakeRoom(count, previous)) return false;
    const platform::unique_local_memory released(previous);  // after the copy: `units` may lie in it
    std::memcpy(units_ + size_, units, count * sizeof(char16_t));
    size_ += count;
    units_[size_] = u'\0';
    return true;
}

bool Text::append(const char* ascii) noexcept
{
    std::size_t count = 0;
    if (ascii != nullptr)
        while (ascii[count] != '\0') ++count;
    if (count == 0) return !failed_;
    void* previous = nullptr;
    if (!MakeRoom(count, previous)) return false;
    const platform::unique_local_memory released(previous);
    for (std::size_t i = 0; i < count; ++i) units_[size_ + i] = static_cast<char16_t>(ascii[i]);
    size_ += count;
    units_[size_] = u'\0';
    return true;
}

bool Text::append(const char16_t* terminated) noexcept
{
    if (terminated == nullptr) return !failed_;
    return append(terminated, TextLength(terminated));
}

bool Text::append(char16_t unit) noexcept { return append(&unit, 1); }

void Text::clear() noexcept
{
    size_ = 0;
    failed_ = false;
    if (units_ != nullptr) units_[0] = u'\0';
}

const char16_t* Text::c_str() const noexcept { return units_ != nullptr ? units_ : u""; }

}  // namespace ostrel
