#pragma once
#include "Core/PSingleton.h"
// The persistent game data: catalogs, car configurations, profile, records, missions, scores.
class CPGameData : public CPSingleton<CPGameData> {
public:
    CPGameData();
    virtual ~CPGameData();
    void Init() {}
};

inline CPGameData* GetGameData() { return CPSingleton<CPGameData>::Instance(); }
