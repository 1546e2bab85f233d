#include "ScriptFunctions/ScriptFunctions.h"

#include "ScriptFunctions/CameraFunctions.h"
#include "ScriptFunctions/CarFunctions.h"
#include "ScriptFunctions/CommandFunctions.h"
#include "ScriptFunctions/InputFunctions.h"
#include "ScriptFunctions/InterfaceFunctions.h"
#include "ScriptFunctions/LevelFunctions.h"
#include "ScriptFunctions/MissionFunctions.h"
#include "ScriptFunctions/ObjectFunctions.h"
#include "ScriptFunctions/OptionsFunctions.h"
#include "ScriptFunctions/PlayerFunctions.h"
#include "ScriptFunctions/ProfileFunctions.h"
#include "ScriptFunctions/RenderCoreFunctions.h"
#include "ScriptFunctions/RenderFunctions.h"
#include "ScriptFunctions/SceneObjectFunctions.h"
#include "ScriptFunctions/ShopFunctions.h"
#include "ScriptFunctions/SoundFunctions.h"
#include "ScriptFunctions/TrackFunctions.h"
#include "ScriptFunctions/WeaponFunctions.h"

void RegisterAllScriptFunctions() {
    RegisterCommandScriptFunctions();
    RegisterObjectScriptFunctions();
    RegisterRenderCoreScriptFunctions();
    RegisterSceneObjectScriptFunctions();
    RegisterInterfaceScriptFunctions();
    RegisterShopScriptFunctions();
    RegisterProfileScriptFunctions();
    RegisterRenderScriptFunctions();
    RegisterSoundScriptFunctions();
    RegisterWeaponScriptFunctions();
    RegisterInputScriptFunctions();
    RegisterOptionsScriptFunctions();
    RegisterCameraScriptFunctions();
    RegisterLevelScriptFunctions();
    RegisterMissionScriptFunctions();
    RegisterCarScriptFunctions();
    RegisterPlayerScriptFunctions();
    RegisterTrackScriptFunctions();
}
