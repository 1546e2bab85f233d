#pragma once
// Registers the interface and HUD functions (and LockButton and UnlockButton in the core table).
void RegisterInterfaceScriptFunctions();
