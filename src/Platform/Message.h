#pragma once
// Window messages as the kernel takes them, one per turn. The ids keep the meaning of the window
// messages the engine was designed around; the backends translate their own events into them.
#include <cstddef>
#include <cstdint>
#include <deque>

namespace Platform {

enum class MessageId : uint32_t {
    Quit,     // the loop is asked to end (posted when the main window is destroyed)
    Close,    // the user asked to close the main window
    Destroy,  // the main window is gone
    Size,     // param: one of SizeKind; x, y: new client size
    Activate, // param: one of ActivateKind; minimized: the window is minimised
    Char,     // param: one byte of the game's code page (typed text, Backspace 8, Tab 9, Enter 13, Esc 27)
    Paint,
};

enum SizeKind : uint32_t { SizeRestored = 0, SizeMinimized = 1, SizeMaximized = 2 };
enum ActivateKind : uint32_t { ActivateInactive = 0, ActivateActive = 1, ActivateClick = 2 };

struct Message {
    MessageId id = MessageId::Paint;
    uint32_t param = 0;
    int32_t x = 0;
    int32_t y = 0;
    bool minimized = false;
};

// Where the kernel takes its messages from.
class MessageSource {
public:
    virtual ~MessageSource() = default;
    // Removes and answers the oldest pending message; false when none is pending. Never waits.
    virtual bool TakeMessage(Message& out) = 0;
    // Queues a message for a later TakeMessage (PostQuitMessage and the like).
    virtual void Post(const Message& message) = 0;
};

// A plain queue: the null backend, and what tests feed.
class QueueMessageSource : public MessageSource {
public:
    bool TakeMessage(Message& out) override {
        if (queue_.empty()) return false;
        out = queue_.front();
        queue_.pop_front();
        return true;
    }
    void Post(const Message& message) override { queue_.push_back(message); }
    size_t Pending() const { return queue_.size(); }

private:
    std::deque<Message> queue_;
};

} // namespace Platform
