#pragma once
// Turns SDL events into the window messages the kernel takes. Only events the window procedure
// acts on become messages; mouse motion and ordinary key events stay out of the one-message-per-
// turn queue (the input system reads the device state instead).
#include <vector>

#include "Platform/Message.h"

union SDL_Event;

namespace Platform {

class SdlEventTranslator {
public:
    // The window's client size when the translation starts (what the window was created with).
    void SetClientSize(int width, int height);

    // Appends the messages one event makes: none, one, or one Char per typed character.
    void Translate(const SDL_Event& event, std::vector<Message>& out);

    bool Minimized() const { return minimized_; }

private:
    void EmitSize(SizeKind kind, std::vector<Message>& out);

    int width_ = 0;
    int height_ = 0;
    bool minimized_ = false;
    // SDL reports one change through several events (shown, restored, size changed); a Size equal
    // to the last one sent would only make the application reset the device again.
    Message lastSize_{MessageId::Size, SizeRestored, 0, 0, false};
};

} // namespace Platform
