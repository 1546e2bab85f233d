#include "Race/PGameData.h"

CPGameData::CPGameData() = default;

CPGameData::~CPGameData() = default;
