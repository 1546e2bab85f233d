#pragma once
// The car model parts chosen by upgrade level, and the table between the scripts' names of the six
// cars (script keys) and the car keys their descriptions are built from.
#include <string>

class CPGameObject;

// Shows the wing, engine and rear-wheel parts of the levels (1 to 3; other values leave the parts
// hidden, and the plain rear wheels "w2" shown). Only for a model that has a part "flare01".
void SelectCarParts(CPGameObject* model, int wingLevel, int engineLevel, int rearWheelType);

struct ScriptKeyEntry {
    const char* scriptKey;
    const char* carKey;
};
// The six pairs, in the table's order.
const ScriptKeyEntry* ScriptKeyTable(int& count);
// The car key of a script key; a key outside the table is its own car key.
std::string CarKeyOfScriptKey(const std::string& scriptKey);
// The script key of a car key; "" for a car key outside the table.
std::string ScriptKeyOfCarKey(const std::string& carKey);
