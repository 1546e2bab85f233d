#include "Race/CarParts.h"

#include <iterator>
#include <vector>

#include "Core/PGameObject.h"

namespace {

void SetPartVisible(CPGameObject* model, const std::string& name, bool visible) {
    if (CPRefPtr<CPGameObject> part = model->FindChild(name)) part->SetVisible(visible);
}

const ScriptKeyEntry kScriptKeys[] = {
    {"hauler", "hauler_"},  {"scout_4x4", "scout"},  {"sedan_z", "sedan_main"},
    {"coupe_t", "coupe_t"}, {"saloon_i7", "saloon"}, {"crossover_t", "crossover_main"},
};

} // namespace

void SelectCarParts(CPGameObject* model, int wingLevel, int engineLevel, int rearWheelType) {
    if (model == nullptr || !model->FindChild("flare01")) return;
    const char* hidden[] = {"flare",   "flare01", "flare02", "flare03", "flare04", "flare05", "flare06",
                            "flare07", "wings1",  "wings2",  "wings3",  "engine1", "engine2", "engine3",
                            "w2_1",    "w2_2",    "w2_3",    "roll1",   "roll2",   "roll3"};
    for (const char* name : hidden) SetPartVisible(model, name, false);
    SetPartVisible(model, "w2", true);

    static const std::vector<const char*> wings[3] = {{"wings1"}, {"wings1", "wings2"}, {"wings3", "wings2"}};
    static const std::vector<const char*> engines[3] = {
        {"engine1"}, {"engine2", "engine1"}, {"engine3", "engine2", "engine1"}};
    if (wingLevel >= 1 && wingLevel <= 3)
        for (const char* name : wings[wingLevel - 1]) SetPartVisible(model, name, true);
    if (engineLevel >= 1 && engineLevel <= 3)
        for (const char* name : engines[engineLevel - 1]) SetPartVisible(model, name, true);
    if (rearWheelType >= 1 && rearWheelType <= 3) {
        SetPartVisible(model, "w2", false);
        SetPartVisible(model, "roll", false);
        SetPartVisible(model, "w2_" + std::to_string(rearWheelType), true);
        SetPartVisible(model, "roll" + std::to_string(rearWheelType), true);
    }
}

const ScriptKeyEntry* ScriptKeyTable(int& count) {
    count = static_cast<int>(std::size(kScriptKeys));
    return kScriptKeys;
}

std::string CarKeyOfScriptKey(const std::string& scriptKey) {
    for (const ScriptKeyEntry& e : kScriptKeys)
        if (scriptKey == e.scriptKey) return e.carKey;
    return scriptKey;
}

std::string ScriptKeyOfCarKey(const std::string& carKey) {
    for (const ScriptKeyEntry& e : kScriptKeys)
        if (carKey == e.carKey) return e.scriptKey;
    return "";
}
