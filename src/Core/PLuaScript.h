#pragma once
// One game script: a task with its own Lua state and a coroutine that runs the script's chunk.
// The coroutine is resumed once per kernel turn and stays scheduled for as long as the script keeps
// calling the global "Update" (which yields 7). Commands wait in a queue: new ones enter at the
// front, the script reads the oldest from the back.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "Core/PCommand.h"
#include "Core/PResult.h"
#include "Core/PTask.h"

struct lua_State;

class CPLuaScript : public CPTask {
public:
    // The value the global "Update" yields; any other yield (or a return) leaves the script idle.
    static constexpr int kUpdateYield = 7;

    CPLuaScript();
    ~CPLuaScript() override;

    // Reads "Data\Scripts\<name>.lua" and prepares the state and coroutine. E_FAIL when the file
    // cannot be read; a chunk that does not compile still answers S_OK and fails at its first resume.
    HRESULT Load(const std::string& name);
    // Builds a fresh state: libraries, panic handler, "Update", the registered script functions,
    // and the coroutine.
    void InitState();
    // Queues "release_all" whatever the running flag says and, when there is a coroutine, runs one
    // more Update so the script can act on it.
    void ReleaseAll();

    // Task interface.
    bool Start() override;
    void Update() override;
    int GetTaskKind() const override { return kind_; }
    CPRefPtr<CPTask> Clone() override { return {}; }
    int GetObjectSize() const override { return sizeof(*this); }
    // "CPLuaScript-" followed by the script's name.
    const char* GetTypeName() const override { return typeName_.c_str(); }

    // 1 "t_level", 2 "t_interface", 3 "t_system"; 0 until set.
    void SetKind(int kind) { kind_ = kind; }
    const std::string& GetName() const { return name_; }

    // The command queue. PushCommand adds at the front and does not look at the running flag
    // (delivery rules live in the script manager).
    void PushCommand(CPCommand command);
    // Drops the current command (always the oldest) and makes the next oldest current; false when
    // nothing is left, and the current command is then cleared.
    bool SetNextCommand();
    // The command the script is reading, or null.
    const CPCommand* GetCurrentCommand() const;
    const std::deque<CPCommand>& GetQueue() const { return queue_; }

    // True while the script is not to be resumed (at construction, after a return, a yield other
    // than 7, or an error).
    bool IsDone() const { return done_; }
    lua_State* GetState() const { return state_; }
    lua_State* GetThread() const { return thread_; }

private:
    void CloseState();

    int kind_ = 0;
    std::string name_;
    std::string typeName_ = "CPLuaScript-";
    lua_State* state_ = nullptr;
    lua_State* thread_ = nullptr;
    int threadRef_ = -1; // registry reference that keeps the coroutine from being collected
    std::vector<uint8_t> source_;
    bool done_ = true;
    std::deque<CPCommand> queue_;
    bool hasCurrent_ = false; // the current command, when there is one, is the back of the queue

    // The coroutine can no longer be resumed: its chunk failed to compile, it returned, or it died.
    // Resuming it anyway would run whatever is left on its stack, so such a script is treated as
    // ended instead (and killed, as a dead coroutine cannot be resumed).
    bool threadEnded_ = false;
    bool resuming_ = false; // guards against resuming the coroutine from inside itself
};
