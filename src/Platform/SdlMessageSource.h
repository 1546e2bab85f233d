#pragma once
// The main window's messages from SDL's event queue, and the one pump of that queue: every call
// drains all pending events, window events into messages, input events into the keyboard and mouse
// state the input system reads.
#include <deque>
#include <memory>

#include "Platform/Input.h"
#include "Platform/InputReplay.h"
#include "Platform/Message.h"
#include "Platform/SdlEventTranslator.h"

namespace Platform {

class SdlMessageSource final : public MessageSource {
public:
    // The window's client size as created; Size messages are measured against it.
    SdlMessageSource(int clientWidth, int clientHeight);

    // Drains SDL's queue, then answers the oldest posted or translated message.
    bool TakeMessage(Message& out) override;
    void Post(const Message& message) override { pending_.push_back(message); }

    // The keyboard and mouse built from the events this source drains.
    InputDevice& Input() { return input_; }

    // Plays the replay's events, each before the pump of its turn (one TakeMessage is one turn).
    void SetReplay(std::unique_ptr<InputReplay> replay) { replay_ = std::move(replay); }

private:
    SdlEventTranslator translator_;
    SdlInput input_;
    std::deque<Message> pending_;
    std::unique_ptr<InputReplay> replay_;
    int turn_ = 0;
};

} // namespace Platform
