#include "Platform/SdlEventTranslator.h"

#include <SDL.h>

#include "Platform/CodePage.h"

namespace Platform {

void SdlEventTranslator::SetClientSize(int width, int height) {
    width_ = width;
    height_ = height;
    minimized_ = false;
    lastSize_ = Message{MessageId::Size, SizeRestored, width, height, false};
}

void SdlEventTranslator::EmitSize(SizeKind kind, std::vector<Message>& out) {
    Message m{MessageId::Size, kind, width_, height_, false};
    if (kind == SizeMinimized) m.x = m.y = 0;
    if (m.param == lastSize_.param && m.x == lastSize_.x && m.y == lastSize_.y) return;
    lastSize_ = m;
    out.push_back(m);
}

void SdlEventTranslator::Translate(const SDL_Event& event, std::vector<Message>& out) {
    switch (event.type) {
    case SDL_QUIT: out.push_back(Message{MessageId::Quit}); return;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: out.push_back(Message{MessageId::Close}); return;
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_HIDDEN:
            minimized_ = true;
            EmitSize(SizeMinimized, out);
            return;
        case SDL_WINDOWEVENT_SHOWN:
            if (!minimized_) return;
            minimized_ = false;
            EmitSize(SizeRestored, out);
            return;
        case SDL_WINDOWEVENT_RESTORED:
            minimized_ = false;
            EmitSize(SizeRestored, out);
            return;
        case SDL_WINDOWEVENT_MAXIMIZED:
            minimized_ = false;
            EmitSize(SizeMaximized, out);
            return;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            width_ = event.window.data1;
            height_ = event.window.data2;
            if (!minimized_) EmitSize(lastSize_.param == SizeMaximized ? SizeMaximized : SizeRestored, out);
            return;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            out.push_back(Message{MessageId::Activate, ActivateActive, 0, 0, minimized_});
            return;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            out.push_back(Message{MessageId::Activate, ActivateInactive, 0, 0, minimized_});
            return;
        default: return;
        }
    case SDL_TEXTINPUT:
        for (const char c : Utf8ToCp1252(event.text.text)) {
            const auto byte = static_cast<uint8_t>(c);
            // Control codes come from the key events below; text never carries them twice.
            if (byte < 32 || byte == 127) continue;
            out.push_back(Message{MessageId::Char, byte});
        }
        return;
    case SDL_KEYDOWN:
        switch (event.key.keysym.sym) {
        case SDLK_BACKSPACE: out.push_back(Message{MessageId::Char, 8}); return;
        case SDLK_TAB: out.push_back(Message{MessageId::Char, 9}); return;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: out.push_back(Message{MessageId::Char, 13}); return;
        case SDLK_ESCAPE: out.push_back(Message{MessageId::Char, 27}); return;
        default: return;
        }
    default: return;
    }
}

} // namespace Platform
