#pragma once
// The main window's messages from SDL's event queue.
#include <deque>

#include "Platform/Message.h"
#include "Platform/SdlEventTranslator.h"

namespace Platform {

class SdlMessageSource final : public MessageSource {
public:
    // The window's client size as created; Size messages are measured against it.
    SdlMessageSource(int clientWidth, int clientHeight);

    // Posted and already translated messages first; otherwise SDL events are taken until one makes
    // a message or none is left. Events that make no message (mouse motion, plain keys) are used up
    // on the way: SDL has already updated the device state from them.
    bool TakeMessage(Message& out) override;
    void Post(const Message& message) override { pending_.push_back(message); }

private:
    SdlEventTranslator translator_;
    std::deque<Message> pending_;
};

} // namespace Platform
