// Where a run's messages go, chosen once at start-up: boxes for a person,
// or the standard error handle when nobody can answer a box.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

class StandardStream;

class MessageSink {
public:
    MessageSink(const MessageSink&) = delete;
    MessageSink& operator=(const MessageSink&) = delete;
    // The answer of the box, or IDOK where none is shown.
    virtual int Show(const char16_t* text, platform::UINT type) = 0;

protected:
    MessageSink() = default;
    ~MessageSink() = default;
};

// A modal box with the application's name as caption and no owner.
class BoxSink final : public MessageSink {
public:
    // `caption` must outlive the sink.
    explicit BoxSink(const char16_t* caption) : caption_(caption) {}
    int Show(const char16_t* text, platform::UINT type) override;

private:
    const char16_t* caption_;
};

// One entry on the standard error handle per message.
class QuietSink final : public MessageSink {
public:
    explicit QuietSink(StandardStream& errors) : errors_(errors) {}
    int Show(const char16_t* text, platform::UINT type) override;

private:
    StandardStream& errors_;
};

}  // namespace ostrel
