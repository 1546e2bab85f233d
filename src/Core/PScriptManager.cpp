#include "Core/PScriptManager.h"

#include "Core/PFileReader.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"
#include "Core/PUtils.h"

namespace {

int KindOfTypeWord(const std::string& word) {
    if (word == "t_level") return CPTask::KindLevel;
    if (word == "t_interface") return CPTask::KindInterface;
    if (word == "t_system") return CPTask::KindSystem;
    return 0;
}
} // namespace

CPScriptManager::CPScriptManager() = default;

CPScriptManager::~CPScriptManager() {
    // Name-table order; a script may still send commands from its last update, so the tables stay
    // intact until every script has had it.
    for (auto& entry : names_)
        if (entry.second) entry.second->ReleaseAll();
    names_.Clear();
    categories_.Clear();
}

void CPScriptManager::DropScripts() {
    names_.Clear();
    categories_.Clear();
}

bool CPScriptManager::LoadList() {
    CPFileReader file("Data\\Scripts\\list.dat");
    if (FAILED(file.Load())) return false;

    CPTextReader reader(file.GetData(), file.GetLength());
    std::string line;
    while (reader.GetLine(line)) {
        CPTokenizer tokenizer(line, " ", true);
        std::string name;
        std::string type;
        tokenizer.NextToken(name);
        ToLower(name);
        tokenizer.NextToken(type);

        CPRefPtr<CPLuaScript> script(new CPLuaScript);
        if (const int kind = KindOfTypeWord(type)) script->SetKind(kind);
        if (FAILED(script->Load(name))) return false;

        names_.Set(name, script);
        std::string category;
        while (tokenizer.NextToken(category)) {
            ToLower(category);
            categories_[category].push_back(script);
        }
    }
    return true;
}

CPRefPtr<CPLuaScript> CPScriptManager::GetScript(const std::string& name) const {
    const CPRefPtr<CPLuaScript>* script = names_.Find(name);
    return script ? *script : CPRefPtr<CPLuaScript>();
}

std::vector<std::string> CPScriptManager::SplitParameters(const std::string& params) {
    std::vector<std::string> list;
    CPTokenizer tokenizer(params, ",", true);
    std::string param;
    while (tokenizer.NextToken(param)) list.push_back(param);
    return list;
}

void CPScriptManager::Deliver(CPLuaScript* script, const std::string& command, const std::string& params) {
    if (!script || !script->IsRunning()) return;
    script->PushCommand(CPCommand(command, SplitParameters(params)));
}

void CPScriptManager::SendCommandByName(const std::string& name, const std::string& command,
                                        const std::string& params) {
    if (const CPRefPtr<CPLuaScript>* script = names_.Find(name)) Deliver(script->Get(), command, params);
}

void CPScriptManager::SendCommandByCategory(const std::string& category, const std::string& command,
                                            const std::string& params) {
    const auto* scripts = categories_.Find(category);
    if (!scripts) return;
    for (const auto& script : *scripts) Deliver(script.Get(), command, params);
}

void CPScriptManager::SendCommandByObject(CPLuaScript* script, const std::string& command, const std::string& params) {
    Deliver(script, command, params);
}
