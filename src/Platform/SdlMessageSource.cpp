#include "Platform/SdlMessageSource.h"

#include <SDL.h>

#include <vector>

namespace Platform {

SdlMessageSource::SdlMessageSource(int clientWidth, int clientHeight) {
    translator_.SetClientSize(clientWidth, clientHeight);
}

bool SdlMessageSource::TakeMessage(Message& out) {
    std::vector<Message> made;
    SDL_Event event;
    ++turn_;
    if (replay_) replay_->PushTurn(turn_);
    while (SDL_PollEvent(&event)) {
        made.clear();
        translator_.Translate(event, made);
        pending_.insert(pending_.end(), made.begin(), made.end());
        input_.Feed(event);
    }
    if (pending_.empty()) return false;
    out = pending_.front();
    pending_.pop_front();
    return true;
}

} // namespace Platform
