#pragma once
// The rendering script functions: debug lines, drawn objects and gauge needles, the sky's start,
// the light coefficient, the lens flare, the screen size and the anisotropic filter setting.
void RegisterRenderScriptFunctions();
