// The kernel's turn: pass order, killed and suspended tasks, inactive turns, quitting, and the
// deferred collector.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PObjUpdater.h"
#include "Platform/Clock.h"
#include "Platform/Message.h"

namespace {

std::vector<std::string> g_trace;

class TraceTask : public CPTask {
public:
    TraceTask(std::string name, int priority) : name_(std::move(name)) { priority_ = priority; }
    void Update() override {
        g_trace.push_back(name_);
        if (onUpdate) onUpdate();
    }
    void Stop() override {
        g_trace.push_back("stop " + name_);
        CPTask::Stop();
    }
    void Suspend() override { g_trace.push_back("suspend " + name_); }
    void Resume() override { g_trace.push_back("resume " + name_); }
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "TraceTask"; }

    std::function<void()> onUpdate;
    std::string name_;
};

class Tracked : public CPManagedObject {
public:
    explicit Tracked(bool* deleted) : deleted_(deleted) {}
    ~Tracked() override {
        *deleted_ = true;
        if (onDelete) onDelete();
    }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "Tracked"; }
    std::function<void()> onDelete;

private:
    bool* deleted_;
};

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_trace.clear();
        AppActive = true;
        kernel.SetMessageSource(&messages);
    }
    void TearDown() override {
        AppActive = true;
        CPManagedObject::CollectGarbage();
    }
    CPRefPtr<TraceTask> Add(const std::string& name, int priority) {
        CPRefPtr<TraceTask> task(new TraceTask(name, priority));
        EXPECT_TRUE(kernel.AddTask(task));
        return task;
    }
    // Runs the loop for a number of turns by letting a sentinel task quit after them.
    void RunTurns(int turns) {
        int left = turns;
        CPRefPtr<TraceTask> last(new TraceTask("", 1 << 30));
        last->onUpdate = [&] {
            g_trace.pop_back();
            g_trace.push_back("|");
            if (--left == 0) messages.Post({Platform::MessageId::Quit});
        };
        kernel.AddTask(last);
        kernel.Execute();
        // the sentinel's own stop is noise
        std::erase(g_trace, std::string("stop "));
    }

    Platform::QueueMessageSource messages;
    CPKernel kernel;
};

TEST_F(KernelTest, EqualPrioritiesRunInTheOrderAdded) {
    Add("a20", 20);
    Add("b10", 10);
    Add("c20", 20);
    Add("d10", 10);
    RunTurns(1);
    std::vector<std::string> want = {"b10", "d10", "a20", "c20", "|"};
    EXPECT_EQ(std::vector<std::string>(g_trace.begin(), g_trace.begin() + 5), want);
}

TEST_F(KernelTest, AddingARunningTaskIsRefused) {
    auto a = Add("a", 10);
    EXPECT_FALSE(kernel.AddTask(a));
    EXPECT_FALSE(kernel.AddTask(CPRefPtr<CPTask>()));
    EXPECT_EQ(kernel.GetRunningTasks().size(), 1u);
}

// Stopped and added again before a pass removed it: whether the stop and the new start come from
// outside the loop, from a task ahead of it in the pass or from one behind it, the task keeps one
// entry and runs once a turn, and it is never stopped.
TEST_F(KernelTest, TaskReAddedBeforeItsRemovalKeepsOneEntry) {
    struct Case {
        const char* name;
        int restarterPriority; // 0: stopped and re-added before the loop runs
    };
    const Case cases[] = {{"before the loop", 0}, {"by a task ahead", 5}, {"by a task behind", 30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_trace.clear();
        CPKernel fresh;
        fresh.SetMessageSource(&messages);
        CPRefPtr<TraceTask> clock(new TraceTask("clock", 10));
        ASSERT_TRUE(fresh.AddTask(clock));
        CPRefPtr<TraceTask> restarter;
        bool done = false;
        auto restart = [&] {
            clock->Stop();
            EXPECT_TRUE(fresh.AddTask(clock));
        };
        if (c.restarterPriority == 0) restart();
        else {
            restarter = CPRefPtr<TraceTask>(new TraceTask("restarter", c.restarterPriority));
            restarter->onUpdate = [&] {
                if (!done) restart();
                done = true;
            };
            ASSERT_TRUE(fresh.AddTask(restarter));
        }
        EXPECT_EQ(std::count_if(fresh.GetRunningTasks().begin(), fresh.GetRunningTasks().end(),
                                [&](const auto& t) { return t.Get() == clock.Get(); }),
                  1);
        int left = 3;
        CPRefPtr<TraceTask> last(new TraceTask("", 1 << 30));
        last->onUpdate = [&] {
            if (--left == 0) messages.Post({Platform::MessageId::Quit});
        };
        fresh.AddTask(last);
        fresh.Execute();
        // Three turns, then the quit pass stops it once.
        EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "clock"), 3);
        // The restart's own stop, then the quit's.
        EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "stop clock"), 2);
        CPManagedObject::CollectGarbage();
    }
}

TEST_F(KernelTest, KilledTaskIsStoppedOnceWhenTheWalkReachesIt) {
    // Killed by an earlier task: stopped and removed in the same pass.
    auto victimAfter = Add("after", 30);
    // Killed by a later task: stopped in the next turn.
    auto victimBefore = Add("before", 5);
    auto killer = Add("killer", 20);
    bool done = false;
    killer->onUpdate = [&] {
        if (done) return;
        victimAfter->SetKilled(true);
        victimBefore->SetKilled(true);
        done = true;
    };
    RunTurns(2);
    std::vector<std::string> want = {"before", "killer", "stop after", "|", "stop before", "killer", "|"};
    EXPECT_EQ(std::vector<std::string>(g_trace.begin(), g_trace.begin() + want.size()), want);
    EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "stop after"), 1);
    EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "stop before"), 1);
}

TEST_F(KernelTest, TaskInsertedDuringAPassRunsInItOnlyWhenBehindTheCurrentEntry) {
    auto a = Add("a", 10);
    CPRefPtr<TraceTask> behind(new TraceTask("behind", 10));
    CPRefPtr<TraceTask> ahead(new TraceTask("ahead", 5));
    bool done = false;
    a->onUpdate = [&] {
        if (done) return;
        kernel.AddTask(behind);
        kernel.AddTask(ahead);
        done = true;
    };
    RunTurns(2);
    std::vector<std::string> want = {"a", "behind", "|", "ahead", "a", "behind", "|"};
    EXPECT_EQ(std::vector<std::string>(g_trace.begin(), g_trace.begin() + want.size()), want);
}

TEST_F(KernelTest, TaskSuspendingItselfDuringUpdateDoesNotBreakThePass) {
    auto a = Add("a", 10);
    Add("b", 20);
    a->onUpdate = [&] { kernel.SuspendTask(a); };
    RunTurns(2);
    std::vector<std::string> want = {"a", "suspend a", "b", "|", "b", "|"};
    EXPECT_EQ(std::vector<std::string>(g_trace.begin(), g_trace.begin() + want.size()), want);
    EXPECT_TRUE(kernel.IsSuspended(a.Get()));
}

TEST_F(KernelTest, ResumedTaskGoesBehindRunningTasksOfEqualPriority) {
    auto a = Add("a", 10);
    Add("b", 10);
    kernel.SuspendTask(a);
    kernel.ResumeTask(a);
    kernel.ResumeTask(a); // not suspended any more: nothing
    RunTurns(1);
    std::vector<std::string> want = {"suspend a", "resume a", "b", "a", "|"};
    EXPECT_EQ(std::vector<std::string>(g_trace.begin(), g_trace.begin() + want.size()), want);
}

TEST_F(KernelTest, InactiveTurnsRunNoTaskButStillTakeMessages) {
    auto a = Add("a", 10);
    int dispatched = 0;
    kernel.SetWindowProc([&](const Platform::Message& m) {
        ++dispatched;
        if (m.id == Platform::MessageId::Activate) AppActive = m.param != Platform::ActivateInactive;
    });
    a->onUpdate = [&] {
        if (g_trace.size() == 1) {
            messages.Post({Platform::MessageId::Activate, Platform::ActivateInactive});
            messages.Post({Platform::MessageId::Paint});
            messages.Post({Platform::MessageId::Paint});
            messages.Post({Platform::MessageId::Activate, Platform::ActivateActive});
            messages.Post({Platform::MessageId::Quit});
            FrameDelta = 0.5f;
        }
    };
    kernel.Execute();
    // a ran once before the deactivation and once in the turn that took the activation back.
    EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "a"), 2);
    EXPECT_EQ(dispatched, 5);
    EXPECT_FLOAT_EQ(FrameDelta, 0.0f);
}

TEST_F(KernelTest, EmptyRunningListEndsTheLoopOnlyWhileActive) {
    AppActive = false;
    kernel.SetWindowProc([&](const Platform::Message& m) {
        if (m.id == Platform::MessageId::Activate) AppActive = true;
    });
    messages.Post({Platform::MessageId::Paint});
    messages.Post({Platform::MessageId::Activate, Platform::ActivateActive});
    EXPECT_EQ(kernel.Execute(), 0);
    EXPECT_EQ(messages.Pending(), 0u);
}

TEST_F(KernelTest, QuitStopsEveryRunningTaskButNotTheSuspendedOne) {
    auto a = Add("a", 10);
    Add("b", 20);
    Add("c", 30);
    auto s = Add("s", 15);
    kernel.SuspendTask(s);
    g_trace.clear();
    messages.Post({Platform::MessageId::Quit});
    messages.Post({Platform::MessageId::Paint}); // never taken after the quit
    kernel.Execute();
    std::vector<std::string> want = {"stop a", "stop b", "stop c"};
    EXPECT_EQ(g_trace, want);
    EXPECT_TRUE(kernel.GetRunningTasks().empty());
    EXPECT_EQ(kernel.GetSuspendedTasks().size(), 1u);
    EXPECT_EQ(messages.Pending(), 1u);
}

TEST_F(KernelTest, QuitWhileInactiveStillEnds) {
    Add("a", 10);
    AppActive = false;
    messages.Post({Platform::MessageId::Quit});
    kernel.Execute();
    EXPECT_TRUE(kernel.GetRunningTasks().empty());
}

TEST_F(KernelTest, ReleasedObjectLivesUntilTheEndOfTheTurnUnlessTakenBack) {
    bool droppedDeleted = false, keptDeleted = false;
    auto* dropped = new Tracked(&droppedDeleted);
    auto* kept = new Tracked(&keptDeleted);
    CPRefPtr<Tracked> holdDropped(dropped), holdKept(kept);
    auto first = Add("first", 10);
    auto second = Add("second", 20);
    bool seenAliveBySecond = false;
    bool done = false;
    first->onUpdate = [&] {
        if (done) return;
        holdDropped.Reset();
        holdKept.Reset();
        kept->AddRef(); // taken back before the collection
        done = true;
    };
    second->onUpdate = [&] {
        if (!seenAliveBySecond) seenAliveBySecond = !droppedDeleted;
    };
    RunTurns(1);
    EXPECT_TRUE(seenAliveBySecond);
    EXPECT_TRUE(droppedDeleted);
    EXPECT_FALSE(keptDeleted);
    kept->Release();
    CPManagedObject::CollectGarbage();
    EXPECT_TRUE(keptDeleted);
}

TEST(ManagedObjectTest, CollectorHandlesReleasesAndTakeBacksFromDestructors) {
    bool aDeleted = false, bDeleted = false, cDeleted = false;
    auto* a = new Tracked(&aDeleted);
    auto* b = new Tracked(&bDeleted);
    auto* c = new Tracked(&cDeleted);
    CPRefPtr<Tracked> holdA(a), holdB(b);
    CPRefPtr<Tracked> holdC(c);
    // a's destructor releases c (appended to the walk) and takes b back (already released, later).
    a->onDelete = [&] {
        holdC.Reset();
        b->AddRef();
    };
    holdA.Reset();
    holdB.Reset();
    size_t live = CPManagedObject::LiveCount();
    CPManagedObject::CollectGarbage();
    EXPECT_TRUE(aDeleted);
    EXPECT_TRUE(cDeleted);
    EXPECT_FALSE(bDeleted);
    EXPECT_EQ(CPManagedObject::ReleasedCount(), 0u);
    EXPECT_EQ(CPManagedObject::LiveCount(), live + 1 - 1); // b came back, c went
    b->Release();
    CPManagedObject::CollectGarbage();
    EXPECT_TRUE(bDeleted);
}

TEST(ManagedObjectTest, ResetToTheSameObjectKeepsItAndExtraReleasesAreIgnored) {
    bool deleted = false;
    auto* t = new Tracked(&deleted);
    CPRefPtr<Tracked> h(t);
    h.Reset(t);
    CPManagedObject::CollectGarbage();
    EXPECT_FALSE(deleted);
    EXPECT_EQ(t->GetRefCount(), 1);
    EXPECT_FALSE(t->IsReleased());

    // A script releasing what it does not own must not hand the object to the collector twice or
    // drive the count negative.
    t->Release();
    t->Release();
    EXPECT_EQ(t->GetRefCount(), 0);
    EXPECT_EQ(CPManagedObject::ReleasedCount(), 1u);
    CPRefPtr<Tracked> again(t); // taken back
    CPManagedObject::CollectGarbage();
    EXPECT_FALSE(deleted);
    again.Reset();
    h = CPRefPtr<Tracked>();
    CPManagedObject::CollectGarbage();
    EXPECT_TRUE(deleted);
}

TEST(ManagedObjectTest, ObjectNoHandleEverHeldStaysLive) {
    bool deleted = false;
    auto* t = new Tracked(&deleted);
    CPManagedObject::CollectGarbage();
    EXPECT_FALSE(deleted);
    EXPECT_TRUE(CPManagedObject::IsEngineObject(t));
    delete t; // deleting it directly leaves no dangling entry
    EXPECT_FALSE(CPManagedObject::IsEngineObject(t));
    CPManagedObject::DumpObjects();
}

TEST(ObjUpdaterTest, CallsTheMemberEveryUpdate) {
    struct Level {
        int updates = 0;
        void Frame() { ++updates; }
    } level;
    CPRefPtr<CPObjUpdater> u(new CPObjUpdater(0, &level, &Level::Frame));
    u->Update();
    u->Update();
    EXPECT_EQ(level.updates, 2);
    EXPECT_EQ(u->GetTaskKind(), 0);
    EXPECT_STREQ(u->GetTypeName(), "CPObjUpdater");
}

// ---- the frame clock ----

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::SetClock(&clock);
        TimeScale = 1.0f;
        unsetenv("VASTREL_FRAME_DT");
    }
    void TearDown() override {
        Platform::SetClock(nullptr);
        TimeScale = 1.0f;
        unsetenv("VASTREL_FRAME_DT");
    }
    Platform::FakeClock clock;
};

TEST_F(TimerTest, FrameDeltaIsScaledAndAccumulated) {
    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    FrameCounter = 99;
    TotalTime = 99;
    ASSERT_TRUE(timer->Start());
    EXPECT_EQ(FrameCounter, 0);
    EXPECT_EQ(TotalTime, 0.0);
    struct Case {
        double seconds;
        float scale;
        float delta;
    };
    const Case cases[] = {{0.020, 1.0f, 0.020f}, {0.020, 0.5f, 0.010f}, {0.5, 0.0f, 0.0f}, {0.001, 2.0f, 0.002f}};
    double total = 0;
    for (const Case& c : cases) {
        TimeScale = c.scale;
        clock.Advance(c.seconds);
        timer->Update();
        total += c.delta;
        EXPECT_NEAR(FrameDelta, c.delta, 1e-6) << c.seconds << " x " << c.scale;
    }
    EXPECT_EQ(FrameCounter, 4);
    EXPECT_NEAR(TotalTime, total, 1e-6);
}

TEST_F(TimerTest, ResumeDoesNotCountTheSuspension) {
    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    timer->Start();
    timer->Suspend();
    clock.Advance(10.0);
    timer->Resume();
    clock.Advance(0.016);
    timer->Update();
    EXPECT_NEAR(FrameDelta, 0.016f, 1e-6);
}

TEST_F(TimerTest, RestartKeepsCountersAndARefusedStartStillResetsTheClock) {
    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    timer->Start();
    clock.Advance(1.0);
    timer->Update();
    EXPECT_EQ(FrameCounter, 1);
    clock.Advance(5.0);
    EXPECT_FALSE(timer->Start()); // already running: refused, but the clock is read again
    clock.Advance(0.25);
    timer->Update();
    EXPECT_NEAR(FrameDelta, 0.25f, 1e-6);
    timer->Stop();
    EXPECT_TRUE(timer->Start());
    EXPECT_EQ(FrameCounter, 2);
    EXPECT_NEAR(TotalTime, 1.25, 1e-6);
}

TEST_F(TimerTest, MillisecondClockWhenThereIsNoCounter) {
    Platform::FakeClock msClock(false);
    Platform::SetClock(&msClock);
    msClock.SetMilliseconds(0xFFFFFFFCu); // the 32-bit count wraps during the frame
    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    timer->Start();
    EXPECT_FALSE(timer->IsHighResolution());
    msClock.Advance(0.008);
    timer->Update();
    EXPECT_NEAR(FrameDelta, 0.008f, 1e-6);
}

TEST_F(TimerTest, UnderFixedFramesTheMillisecondClockStepsAlikeEveryTurnAndEveryRun) {
    const struct {
        const char* frame;
        uint32_t step;
    } cases[] = {{"0.025", 25}, {"0.0166667", 17}, {"0.04", 40}, {"0", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        setenv("VASTREL_FRAME_DT", c.frame, 1);
        std::vector<uint32_t> runs[2];
        for (auto& readings : runs) {
            CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
            timer->Start();
            readings.push_back(Platform::GetClock().Milliseconds());
            for (int turn = 0; turn < 5; ++turn) {
                TimeScale = turn == 2 ? 3.0f : 1.0f; // the game's time scale is not the clock's
                clock.Advance(turn * 0.7);           // nor is the machine's own time
                timer->Update();
                readings.push_back(Platform::GetClock().Milliseconds());
            }
        }
        EXPECT_EQ(runs[0], runs[1]);
        for (size_t i = 1; i < runs[0].size(); ++i) EXPECT_EQ(runs[0][i] - runs[0][i - 1], c.step) << i;
    }
    // Without the fixed frame the installed clock is read as it is.
    unsetenv("VASTREL_FRAME_DT");
    Platform::SetClock(&clock);
    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    timer->Start();
    clock.SetMilliseconds(1234);
    timer->Update();
    EXPECT_EQ(Platform::GetClock().Milliseconds(), 1234u);
}

TEST_F(TimerTest, FixedFrameFromTheEnvironment) {
    setenv("VASTREL_FRAME_DT", "0.025", 1);
    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    timer->Start();
    clock.Advance(3.0);
    timer->Update();
    EXPECT_NEAR(FrameDelta, 0.025f, 1e-7);
    TimeScale = 2.0f;
    timer->Update();
    EXPECT_NEAR(FrameDelta, 0.05f, 1e-7);
}

} // namespace
