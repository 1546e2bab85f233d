#pragma once
// What the sky writes every frame and its clouds read.
#include "Core/Math/Vector.h"

extern Vec3 SkyCloudShadeColor; // 0..255 per channel
extern Vec3 SkyCloudSunColor;   // 0..255 per channel
extern Vec3 SkySunPosition;     // the zero point until the sky's first frame
extern Vec3 SkyWind;
extern float CloudFadeTimeScale;
extern float CloudFieldTimeScale;
