#pragma once
// The music task: one track at a time from "Data\Music".
#include <string>

#include "Core/PTask.h"

class CPMusic : public CPTask {
public:
    CPMusic();
    ~CPMusic() override;
    void Update() override {}
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPMusic"; }
};

CPMusic* GetMusic();
