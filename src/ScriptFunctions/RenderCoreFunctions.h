#pragma once
// The core script functions that reach the renderer: SetFade.

// Adds them to the core script table; called once at start-up, before any script is loaded.
void RegisterRenderCoreScriptFunctions();
