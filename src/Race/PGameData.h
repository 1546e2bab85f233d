#pragma once
// The persistent game data: catalogs, car configurations, profile, records, missions, scores.
class CPGameData {
public:
    CPGameData();
    virtual ~CPGameData();
    void Init() {}
};

CPGameData* GetGameData();
