#pragma once
// The script manager: every script of "Data\Scripts\list.dat" by name and by category, and the
// three ways of delivering a command to them. A command is queued only on a script whose running
// flag is set; anything else is dropped without a report.
#include <string>
#include <vector>

#include "Core/PHashMap.h"
#include "Core/PLuaScript.h"
#include "Core/PSingleton.h"

class CPScriptManager : public CPSingleton<CPScriptManager> {
public:
    using NameTable = CPHashMap<CPRefPtr<CPLuaScript>>;
    using CategoryTable = CPHashMap<std::vector<CPRefPtr<CPLuaScript>>>;

    CPScriptManager();
    // Every script gets "release_all" and one more update, then both tables are emptied; the scripts
    // go with the next collection.
    virtual ~CPScriptManager();

    // Loads every script the list names. false when the list cannot be read or a listed script file
    // cannot be read (the lines after it are not loaded). Adds nothing to the kernel.
    bool LoadList();
    // The script stored under exactly this name (scripts are stored lower-cased), or null.
    CPRefPtr<CPLuaScript> GetScript(const std::string& name) const;

    void SendCommandByName(const std::string& name, const std::string& command, const std::string& params);
    // Every script of the category, in list order, gets its own copy.
    void SendCommandByCategory(const std::string& category, const std::string& command, const std::string& params);
    // A null script gets nothing.
    void SendCommandByObject(CPLuaScript* script, const std::string& command, const std::string& params);

    // The parameter text split at "," with quotes honoured, each parameter trimmed; an empty text
    // gives no parameter.
    static std::vector<std::string> SplitParameters(const std::string& params);

    // Empties both tables without "release_all" or a last update: the end of a run whose main loop
    // never ran, where no script was ever resumed.
    void DropScripts();

    const NameTable& GetNameTable() const { return names_; }
    const CategoryTable& GetCategoryTable() const { return categories_; }

private:
    static void Deliver(CPLuaScript* script, const std::string& command, const std::string& params);

    NameTable names_;
    CategoryTable categories_;
};

inline CPScriptManager* GetScriptManager() { return CPSingleton<CPScriptManager>::Instance(); }
