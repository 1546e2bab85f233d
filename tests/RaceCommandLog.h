#pragma once
// The race's listening scripts as idle loops in the current game root, so that commands sent to
// them are queued; a test reads back what each one got, oldest first, as "command params".
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/PLuaScript.h"
#include "Core/PScriptManager.h"

class RaceCommandLog {
public:
    RaceCommandLog() {
        std::filesystem::create_directories("Data/Scripts");
        std::ofstream list("Data/Scripts/list.dat");
        for (const char* name : kScripts) {
            // "main" is also the category the death of a car is told to.
            list << name << " t_system " << (std::string(name) == "main" ? "main" : "race") << "\n";
            std::ofstream(std::string("Data/Scripts/") + name + ".lua") << "while true do Update() end\n";
        }
        list.close();
        loaded_ = manager_.LoadList();
        for (const char* name : kScripts)
            if (CPRefPtr<CPLuaScript> script = manager_.GetScript(name)) script->Start();
    }
    ~RaceCommandLog() {
        for (const char* name : kScripts)
            if (CPRefPtr<CPLuaScript> script = manager_.GetScript(name)) script->Stop();
    }

    bool Loaded() const { return loaded_; }

    // What the script got since the last call.
    std::vector<std::string> Take(const std::string& name) {
        std::vector<std::string> got;
        CPRefPtr<CPLuaScript> script = manager_.GetScript(name);
        if (!script) return got;
        while (script->SetNextCommand()) {
            const CPCommand* command = script->GetCurrentCommand();
            std::string text = command->name;
            for (size_t i = 0; i < command->params.size(); ++i) text += (i ? "," : " ") + command->params[i];
            got.push_back(text);
        }
        return got;
    }
    // Everything every script got since the last call, dropped.
    void Clear() {
        for (const char* name : kScripts) Take(name);
    }

private:
    static constexpr const char* kScripts[] = {"main", "gamemenu", "game_interface", "jeep"};
    CPScriptManager manager_;
    bool loaded_ = false;
};
