// Every change of the money reaches the script "gamemenu" as "change_money" with "%.2f": the
// progress fixture's main script run in a kernel beside a gamemenu script that logs its commands.
#include <gtest/gtest.h>

#include <memory>

#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Race/PGameData.h"
#include "ScriptFunctions/ProfileFunctions.h"
#include "ScriptFunctions/ShopFunctions.h"
#include "ScriptHarness.h"

namespace {

TEST(GameMenuMoneyTest, MoneyChangesAreSentToTheGameMenu) {
    CPSettingsManager::ResetDefaults();
    ScriptHarness::GameRoot root("app/progress");
    RegisterProfileScriptFunctions();
    RegisterShopScriptFunctions();
    {
        CPGameData data;
        data.Init();
        ScriptHarness::TurnRunner runner;
        auto manager = std::make_unique<CPScriptManager>();
        ASSERT_TRUE(manager->LoadList());
        CPRefPtr<CPLuaScript> main = manager->GetScript("main");
        CPRefPtr<CPLuaScript> menu = manager->GetScript("gamemenu");
        ASSERT_TRUE(main && menu);
        main->SetPriority(20);
        menu->SetPriority(450);
        ASSERT_TRUE(runner.Kernel().AddTask(CPRefPtr<CPTask>(menu.Get())));
        ASSERT_TRUE(runner.Kernel().AddTask(CPRefPtr<CPTask>(main.Get())));
        runner.Run(3);
        manager.reset();
    }
    CPManagedObject::CollectGarbage();
    // The fresh profile's 0, SetMoney 99.99, the loaded save's 99, SetMoney 12.5 and 1000, and
    // what AutoSetting left; then the manager's goodbye.
    const std::vector<std::string> expected = {
        "change_money 0.00",    "change_money 99.99",   "change_money 12.50", "change_money 99.00",
        "change_money 1000.00", "change_money 1710.00", "release_all ",
    };
    EXPECT_EQ(root.ReadLines("gamemenu.log"), expected);
}

} // namespace
