#pragma once
// GLSL of the GL device: the prelude every program gets (the device state as one uniform block,
// and the conversions to GL clip space), and the built-in program that draws the way the
// fixed-function pipeline does.
namespace Platform {

// Declares the uniform block "VastrelDevice" and two functions:
//   vec4 VsToClip(vec4 p)       row-vector clip position (z from 0 to w) to GL clip space;
//   vec4 VsScreenToClip(vec4 p) a pre-transformed vertex (pixels, y down, rhw) to GL clip space.
extern const char* const kGlPrelude;
extern const char* const kGlFixedVertex;
extern const char* const kGlFixedFragment;

} // namespace Platform
