// Scripts as kernel tasks: command delivery by name, category and object in kernel-turn order, the
// queue read oldest first, "release_all" at shutdown, the script list, and scripts that fail.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <lua.hpp>

#include "Core/PKernel.h"
#include "Core/PLuaScript.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

using ScriptHarness::GameRoot;
using ScriptHarness::ProbeTask;
using ScriptHarness::TurnRunner;

namespace {

struct Observed {
    bool brokenRunning = true;
    bool crasherRunning = true;
    bool quitterRunning = false;
    bool quitterDone = false;
    bool quitterKilled = true;
};

TEST(ScriptCommandsTest, CommandsArriveInTurnOrderAndReleaseAllComesLast) {
    GameRoot root("scripts/commands");
    std::string interfaceHandle;
    Observed seen;
    {
        TurnRunner runner;
        CPKernel& kernel = runner.Kernel();
        auto manager = std::make_unique<CPScriptManager>();
        ASSERT_TRUE(manager->LoadList());

        CPRefPtr<CPLuaScript> main = manager->GetScript("main");
        CPRefPtr<CPLuaScript> ui = manager->GetScript("game_interface");
        CPRefPtr<CPLuaScript> sleeper = manager->GetScript("sleeper");
        CPRefPtr<CPLuaScript> broken = manager->GetScript("broken");
        CPRefPtr<CPLuaScript> crasher = manager->GetScript("crasher");
        CPRefPtr<CPLuaScript> quitter = manager->GetScript("quitter");
        ASSERT_TRUE(main && ui && sleeper && broken && crasher && quitter);

        // Handles must survive the trip through text even above 32 bits.
        ASSERT_GT(reinterpret_cast<uintptr_t>(static_cast<CPManagedObject*>(ui.Get())), 0xFFFFFFFFull);
        interfaceHandle = FormatHandle(ui.Get());

        main->SetPriority(20);
        ui->SetPriority(450);
        sleeper->SetPriority(450);
        for (auto* script : {main.Get(), ui.Get(), broken.Get(), crasher.Get(), quitter.Get()}) {
            if (script != main.Get() && script != ui.Get()) script->SetPriority(200);
            ASSERT_TRUE(kernel.AddTask(CPRefPtr<CPTask>(script)));
        }

        // Runs between main (20) and the interface (450) in every turn.
        int turn = 0;
        CPRefPtr<ProbeTask> probe(new ProbeTask(100, [&] {
            ++turn;
            if (turn == 2) {
                manager->SendCommandByName("main", "byname", "n");
                manager->SendCommandByObject(ui.Get(), "byobject", "o");
                manager->SendCommandByCategory("interface", "bycategory", "c");
                manager->SendCommandByName("Main", "wrongcase", ""); // names are looked up as given
                manager->SendCommandByObject(nullptr, "nowhere", "");
            } else if (turn == 3) {
                manager->SendCommandByName("main", "c1", "1");
                manager->SendCommandByName("main", "c2", "2");
                manager->SendCommandByName("main", "c3", "3");
                ASSERT_TRUE(kernel.AddTask(CPRefPtr<CPTask>(sleeper.Get())));
                manager->SendCommandByName("sleeper", "wake", "");
            } else if (turn == 4) {
                seen.brokenRunning = kernel.IsRunning(broken.Get());
                seen.crasherRunning = kernel.IsRunning(crasher.Get());
                seen.quitterRunning = kernel.IsRunning(quitter.Get());
                seen.quitterDone = quitter->IsDone();
                seen.quitterKilled = quitter->IsKilled();
            }
        }));
        kernel.AddTask(probe);

        runner.Run(5, [&](int n) {
            if (n == 5) {
                // Waiting when the loop ends: read at shutdown before "release_all".
                manager->SendCommandByName("main", "late1", "");
                manager->SendCommandByName("main", "late2", "");
            }
        });
        EXPECT_TRUE(kernel.GetRunningTasks().empty());
        manager.reset();
    }
    CPManagedObject::CollectGarbage();

    EXPECT_FALSE(seen.brokenRunning);
    EXPECT_FALSE(seen.crasherRunning);
    EXPECT_TRUE(seen.quitterRunning); // idle, but still a task
    EXPECT_TRUE(seen.quitterDone);
    EXPECT_FALSE(seen.quitterKilled);

    const std::vector<std::string> mainLog = {
        "2 ack 1|a,b|x #1", "2 drained nil 0", "3 byname n #1",     "3 drained nil 0",
        "4 c1 1 #1",        "4 c2 2 #1",       "4 c3 3 #1",         "4 drained nil 0",
        "6 late1  #0",      "6 late2  #0",     "6 release_all  #0", "6 drained nil 0",
    };
    EXPECT_EQ(root.ReadLines("main.log"), mainLog);

    const std::vector<std::string> interfaceLog = {
        "handle " + interfaceHandle + " true",
        "1 go 1|a,b|x #3",
        "2 byobject o #1",
        "2 bycategory c #1",
        "6 release_all  #0",
    };
    EXPECT_EQ(root.ReadLines("game_interface.log"), interfaceLog);

    // Started in turn 3: nothing sent before that reached it.
    EXPECT_EQ(root.ReadLines("sleeper.log"), (std::vector<std::string>{"1 wake", "4 release_all"}));
    EXPECT_FALSE(root.Exists("broken.log"));
    EXPECT_EQ(root.ReadLines("crasher.log"), (std::vector<std::string>{"turn 1", "turn 2"}));
    EXPECT_EQ(root.ReadLines("quitter.log"), (std::vector<std::string>{"ran"}));
}

TEST(ScriptCommandsTest, ParameterTextSplitsAtCommasHonouringQuotes) {
    struct Case {
        const char* text;
        std::vector<std::string> params;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"1,2", {"1", "2"}},
        {"1,\"a,b\",x", {"1", "a,b", "x"}},
        {" a , b ", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"-140737488355328", {"-140737488355328"}},
    };
    for (const Case& c : cases) EXPECT_EQ(CPScriptManager::SplitParameters(c.text), c.params) << c.text;
}

TEST(ScriptListTest, ReadsNamesKindsAndCategoriesUntilAMissingFile) {
    GameRoot root("scripts/listing");
    std::vector<CPRefPtr<CPLuaScript>> kept;
    {
        CPScriptManager manager;
        EXPECT_EQ(GetScriptManager(), &manager);
        EXPECT_FALSE(manager.LoadList()); // "missing" has no file

        CPRefPtr<CPLuaScript> first = manager.GetScript("first");
        ASSERT_TRUE(first);
        EXPECT_EQ(first->GetTaskKind(), CPTask::KindSystem); // the later line replaced the name entry
        EXPECT_STREQ(first->GetTypeName(), "CPLuaScript-first");
        EXPECT_FALSE(manager.GetScript("First"));
        EXPECT_FALSE(manager.GetScript("ghost"));
        EXPECT_FALSE(manager.GetScript("missing"));
        EXPECT_FALSE(manager.GetScript("after"));
        ASSERT_TRUE(manager.GetScript("second"));
        EXPECT_EQ(manager.GetScript("second")->GetTaskKind(), CPTask::KindInterface);
        ASSERT_TRUE(manager.GetScript("third"));
        EXPECT_EQ(manager.GetScript("third")->GetTaskKind(), 0);
        // Two spaces give an empty type word, so the type lands among the categories.
        ASSERT_TRUE(manager.GetScript("fourth"));
        EXPECT_EQ(manager.GetScript("fourth")->GetTaskKind(), 0);

        const auto& categories = manager.GetCategoryTable();
        const auto* catA = categories.Find("cat_a");
        ASSERT_TRUE(catA);
        ASSERT_EQ(catA->size(), 2u);
        EXPECT_EQ((*catA)[0]->GetTaskKind(), CPTask::KindLevel); // the first "first", still listed
        EXPECT_EQ((*catA)[1], manager.GetScript("second"));
        ASSERT_TRUE(categories.Find(""));
        EXPECT_EQ(categories.Find("")->size(), 1u);
        ASSERT_TRUE(categories.Find("cat_b"));
        ASSERT_TRUE(categories.Find("t_system"));
        EXPECT_EQ((*categories.Find("t_system"))[0], manager.GetScript("fourth"));
        EXPECT_FALSE(categories.Find("Cat_A"));

        // Loaded scripts are not running: commands to them vanish.
        manager.SendCommandByName("second", "hello", "");
        manager.SendCommandByCategory("cat_a", "hello", "");
        EXPECT_TRUE(manager.GetScript("second")->GetQueue().empty());
        for (auto& entry : manager.GetNameTable()) kept.push_back(entry.second);
    }
    EXPECT_EQ(GetScriptManager(), nullptr);
    // Shutdown queues "release_all" on every script whatever its running flag; a script that never
    // started is not resumed.
    ASSERT_EQ(kept.size(), 4u);
    for (const auto& script : kept) {
        ASSERT_EQ(script->GetQueue().size(), 1u) << script->GetName();
        EXPECT_EQ(script->GetQueue().back().name, "release_all");
        EXPECT_TRUE(script->IsDone());
    }
    kept.clear();
    CPManagedObject::CollectGarbage();
}

TEST(ScriptListTest, NoListLoadsNothing) {
    GameRoot root("");
    CPScriptManager manager;
    EXPECT_FALSE(manager.LoadList());
    EXPECT_TRUE(manager.GetNameTable().Empty());
}

// What one resume does with each way a chunk can end, and what a second start does afterwards.
TEST(ScriptLifecycleTest, ResumeOutcomesAndRestarts) {
    struct Case {
        const char* name;
        const char* source;
        bool doneAfterFirst;
        bool killedAfterFirst;
        bool doneAfterRestart;
        bool killedAfterRestart;
    };
    const Case cases[] = {
        {"loop", "while true do Update() end", false, false, false, false},
        {"returns", "return 7", true, false, true, true},
        {"yields_other", "coroutine.yield(3) while true do Update() end", true, false, false, false},
        {"yields_seven", "coroutine.yield(7.9) coroutine.yield(1)", false, false, true, false},
        {"error_text", "error('boom')", true, true, true, true},
        {"error_table", "error({})", true, false, true, true},
        {"syntax", "local = 1", true, true, true, true},
        {"bad_argument", "SendCommandByName(nil, 'a', 'b')", true, true, true, true},
        {"update_in_pcall", "local ok = pcall(Update) if not ok then error('no yield') end", true, true, true, true},
    };
    GameRoot root("");
    std::filesystem::create_directories(root.Path() / "Data" / "Scripts");
    for (const Case& c : cases) {
        std::ofstream(root.Path() / "Data" / "Scripts" / (std::string(c.name) + ".lua")) << c.source;
    }
    InvalidatePathCache();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPRefPtr<CPLuaScript> script(new CPLuaScript);
        ASSERT_EQ(script->Load(c.name), S_OK);
        EXPECT_TRUE(script->IsDone());
        script->Update(); // not started: nothing runs
        EXPECT_TRUE(script->IsDone());
        EXPECT_FALSE(script->IsKilled());

        ASSERT_TRUE(script->Start());
        EXPECT_FALSE(script->Start());
        script->Update();
        EXPECT_EQ(script->IsDone(), c.doneAfterFirst);
        EXPECT_EQ(script->IsKilled(), c.killedAfterFirst);

        script->Stop();
        ASSERT_TRUE(script->Start());
        script->Update();
        EXPECT_EQ(script->IsDone(), c.doneAfterRestart);
        EXPECT_EQ(script->IsKilled(), c.killedAfterRestart);
    }

    EXPECT_EQ(CPRefPtr<CPLuaScript>(new CPLuaScript)->Load("absent"), E_FAIL);

    // A state built without a chunk has nothing to resume.
    CPRefPtr<CPLuaScript> bare(new CPLuaScript);
    bare->InitState();
    ASSERT_TRUE(bare->Start());
    bare->Update();
    EXPECT_TRUE(bare->IsDone());
    EXPECT_TRUE(bare->IsKilled());
    CPManagedObject::CollectGarbage();
}

TEST(ScriptLifecycleTest, SetNextCommandReadsOldestFirstAndClearsWhenDrained) {
    CPRefPtr<CPLuaScript> script(new CPLuaScript);
    EXPECT_FALSE(script->SetNextCommand());
    EXPECT_EQ(script->GetCurrentCommand(), nullptr);
    script->PushCommand(CPCommand("c1", {}));
    script->PushCommand(CPCommand("c2", {"x"}));
    ASSERT_TRUE(script->SetNextCommand());
    EXPECT_EQ(script->GetCurrentCommand()->name, "c1");
    script->PushCommand(CPCommand("c3", {})); // arrives while c1 is being read
    std::vector<std::string> order;
    order.push_back(script->GetCurrentCommand()->name);
    while (script->SetNextCommand()) order.push_back(script->GetCurrentCommand()->name);
    EXPECT_EQ(order, (std::vector<std::string>{"c1", "c2", "c3"}));
    EXPECT_EQ(script->GetCurrentCommand(), nullptr);
    EXPECT_TRUE(script->GetQueue().empty());
    EXPECT_FALSE(script->SetNextCommand());
    script.Reset();
    CPManagedObject::CollectGarbage();
}

// Writes each script of the list as "Data\\Scripts\\<name>.lua" into the current game root.
void WriteScripts(const GameRoot& root, const std::string& list,
                  const std::vector<std::pair<std::string, std::string>>& scripts) {
    std::filesystem::create_directories(root.Path() / "Data" / "Scripts");
    std::ofstream(root.Path() / "Data" / "Scripts" / "list.dat") << list;
    for (const auto& [name, source] : scripts)
        std::ofstream(root.Path() / "Data" / "Scripts" / (name + ".lua")) << source;
    InvalidatePathCache();
}

// The globals a script state starts with: the libraries it may use and no others, "Update", the
// registered functions, and "globalObject" only when the chunk compiled.
TEST(ScriptLifecycleTest, StateHoldsTheChosenLibrariesAndGlobals) {
    GameRoot root("");
    WriteScripts(root, "", {{"good", "while true do Update() end"}, {"syntax", "local = 1"}});
    struct Case {
        const char* global;
        int type;
    };
    const Case common[] = {
        {"coroutine", LUA_TTABLE},
        {"io", LUA_TTABLE},
        {"os", LUA_TTABLE},
        {"string", LUA_TTABLE},
        {"math", LUA_TTABLE},
        {"table", LUA_TTABLE},
        {"package", LUA_TNIL},
        {"debug", LUA_TNIL},
        {"require", LUA_TNIL},
        {"Update", LUA_TFUNCTION},
        {"SetNextCommand", LUA_TFUNCTION},
        {"ToInt", LUA_TFUNCTION},
    };
    for (const char* name : {"good", "syntax"}) {
        SCOPED_TRACE(name);
        CPRefPtr<CPLuaScript> script(new CPLuaScript);
        ASSERT_EQ(script->Load(name), S_OK);
        lua_State* L = script->GetState();
        ASSERT_NE(L, nullptr);
        for (const Case& c : common) {
            lua_getglobal(L, c.global);
            EXPECT_EQ(lua_type(L, -1), c.type) << c.global;
            lua_pop(L, 1);
        }
        lua_getglobal(L, "globalObject");
        if (std::string(name) == "good") {
            EXPECT_EQ(lua_type(L, -1), LUA_TLIGHTUSERDATA);
            EXPECT_EQ(lua_touserdata(L, -1), static_cast<CPManagedObject*>(script.Get()));
        } else {
            EXPECT_EQ(lua_type(L, -1), LUA_TNIL); // the chunk did not load
        }
        lua_pop(L, 1);
    }
    CPManagedObject::CollectGarbage();
}

// Commands reach a script only while its running flag is set; a suspended task keeps that flag.
TEST(ScriptCommandsTest, DeliveryFollowsTheRunningFlag) {
    GameRoot root("scripts/listing");
    CPKernel kernel;
    CPScriptManager manager;
    manager.LoadList();
    CPRefPtr<CPLuaScript> script = manager.GetScript("second"); // category "cat_a"
    ASSERT_TRUE(script);

    struct Case {
        const char* state;
        std::function<void()> enter;
        bool delivered;
    };
    const Case cases[] = {
        {"loaded", [] {}, false},
        {"running", [&] { ASSERT_TRUE(kernel.AddTask(CPRefPtr<CPTask>(script))); }, true},
        {"suspended", [&] { kernel.SuspendTask(CPRefPtr<CPTask>(script)); }, true},
        {"resumed", [&] { kernel.ResumeTask(CPRefPtr<CPTask>(script)); }, true},
        {"killed, not yet removed", [&] { kernel.KillAllTasks(); }, true},
        {"stopped", [&] { script->Stop(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        c.enter();
        while (script->SetNextCommand()) {}
        manager.SendCommandByName("second", "byname", "");
        manager.SendCommandByCategory("cat_a", "bycategory", "");
        manager.SendCommandByObject(script.Get(), "byobject", "");
        std::vector<std::string> queued;
        for (const CPCommand& command : script->GetQueue()) queued.push_back(command.name);
        if (c.delivered) EXPECT_EQ(queued, (std::vector<std::string>{"byobject", "bycategory", "byname"}));
        else EXPECT_TRUE(queued.empty());
    }
}

// At shutdown every script of the name table, in the table's order (not the list's), reads
// "release_all" in one more update; a script the kernel stopped still gets it while it was calling
// Update, one that never ran does not run.
TEST(ScriptCommandsTest, ShutdownReleasesInNameTableOrder) {
    GameRoot root("");
    const std::vector<std::string> names = {"e", "d", "c", "b", "a", "idle"};
    std::string list;
    std::vector<std::pair<std::string, std::string>> scripts;
    for (const std::string& name : names) {
        list += name + " t_system all\n";
        scripts.push_back({name, "while true do\n"
                                 "  while SetNextCommand(globalObject) do\n"
                                 "    local f = io.open('order.log', 'a')\n"
                                 "    f:write('" +
                                     name +
                                     " ', GetCurrentCommand(globalObject), '\\n')\n"
                                     "    f:close()\n"
                                     "  end\n"
                                     "  Update()\n"
                                     "end\n"});
    }
    WriteScripts(root, list, scripts);

    std::vector<std::string> tableOrder;
    {
        CPScriptManager manager;
        ASSERT_TRUE(manager.LoadList());
        for (const auto& entry : manager.GetNameTable())
            if (entry.first != "idle") tableOrder.push_back(entry.first + " release_all");
        for (const std::string& name : names) {
            if (name == "idle") continue;
            CPRefPtr<CPLuaScript> script = manager.GetScript(name);
            ASSERT_TRUE(script->Start());
            script->Update(); // now waiting in Update
        }
        manager.GetScript("c")->Stop();
    }
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(tableOrder, (std::vector<std::string>{"a release_all", "b release_all", "c release_all", "d release_all",
                                                    "e release_all"}));
    EXPECT_EQ(root.ReadLines("order.log"), tableOrder);
}

} // namespace
