#pragma once
// The rendering script functions: debug lines, drawn objects and gauge needles, the sky's start,
// the light coefficient, the lens flare, the screen size, the anisotropic filter setting and the
// arrow objects built from descriptions.
void RegisterRenderScriptFunctions();
