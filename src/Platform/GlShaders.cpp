#include "Platform/GlShaders.h"

namespace Platform {

// Keep in step with GlUniforms in GlDevice.cpp: std140, everything a vec4, ivec4 or mat4.
const char* const kGlPrelude = R"(
layout(std140) uniform VastrelDevice {
    mat4 vWorld;
    mat4 vView;
    mat4 vProjection;
    mat4 vWorldView;
    mat4 vWorldViewProj;
    mat4 vNormalMatrix;
    vec4 vMatDiffuse;
    vec4 vMatAmbient;
    vec4 vMatSpecular;
    vec4 vMatEmissive;
    vec4 vMatPower;
    vec4 vAmbient;
    vec4 vFogColor;
    vec4 vFogParams;      // start, end, density
    vec4 vTextureFactor;
    vec4 vTarget;         // width, height, y sign of the target
    ivec4 vFlags;         // lighting, specular, light count, linear fog
    ivec4 vVertexFlags;   // rhw, normal, diffuse, specular present
    ivec4 vMatSources;    // diffuse, specular, ambient, emissive: 0 material, 1 colour 1, 2 colour 2
    ivec4 vMisc;          // normalise normals
    ivec4 vStageColor[3]; // op, arg1, arg2, texture coordinate set
    ivec4 vStageAlpha[3]; // op, arg1, arg2, texture bound
    ivec4 vAlphaTest;     // enable, function, reference
    vec4 vLightDiffuse[30];
    vec4 vLightSpecular[30];
    vec4 vLightAmbient[30];
    vec4 vLightPosition[30];  // view space; w the light type
    vec4 vLightDirection[30]; // view space; w the range
    vec4 vLightAtten[30];     // attenuation 0, 1, 2, falloff
    vec4 vLightSpot[30];      // cos(theta / 2), cos(phi / 2)
};

// Pixel centres sit on integer coordinates for the renderer and half-way between them for GL:
// every position moves right and down by just under half a pixel, so screen-space layers are
// texel-exact and an edge on a pixel centre covers it on the top and left sides only.
const float kHalfPixel = 0.9921875; // in clip units per pixel: 2 * (0.5 - 1 / 256)
vec4 VsToClip(vec4 p) {
    return vec4(p.x + p.w * kHalfPixel / vTarget.x, (p.y - p.w * kHalfPixel / vTarget.y) * vTarget.z, 2.0 * p.z - p.w,
                p.w);
}

vec4 VsScreenToClip(vec4 p) {
    float w = p.w != 0.0 ? 1.0 / p.w : 1.0;
    vec2 ndc = vec2((p.x + 0.5) / vTarget.x * 2.0 - 1.0, 1.0 - (p.y + 0.5) / vTarget.y * 2.0);
    ndc.y *= vTarget.z;
    return vec4(ndc * w, (2.0 * p.z - 1.0) * w, w);
}
)";

const char* const kGlFixedVertex = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aDiffuse;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec2 aTex0;
layout(location = 5) in vec2 aTex1;

out vec4 fDiffuse;
out vec4 fSpecular;
out vec2 fTex0;
out vec2 fTex1;
out float fFog;

vec4 Source(int source, vec4 material) {
    if (source == 1 && vVertexFlags.z != 0) return aDiffuse;
    if (source == 2 && vVertexFlags.w != 0) return aSpecular;
    return material;
}

void main() {
    fTex0 = aTex0;
    fTex1 = aTex1;
    fFog = 1.0;
    if (vVertexFlags.x != 0) {
        gl_Position = VsScreenToClip(aPosition);
        fDiffuse = vVertexFlags.z != 0 ? aDiffuse : vec4(1.0);
        fSpecular = vVertexFlags.w != 0 ? aSpecular : vec4(0.0);
        return;
    }
    vec4 world = vec4(aPosition.xyz, 1.0);
    gl_Position = VsToClip(vWorldViewProj * world);
    vec3 P = (vWorldView * world).xyz;

    if (vFlags.x != 0) {
        vec3 N = mat3(vNormalMatrix) * aNormal;
        if (vMisc.x != 0 && dot(N, N) > 0.0) N = normalize(N);
        vec3 sumAmbient = vec3(0.0), sumDiffuse = vec3(0.0), sumSpecular = vec3(0.0);
        vec4 md = Source(vMatSources.x, vMatDiffuse);
        vec4 ms = Source(vMatSources.y, vMatSpecular);
        vec4 ma = Source(vMatSources.z, vMatAmbient);
        vec4 me = Source(vMatSources.w, vMatEmissive);
        for (int i = 0; i < vFlags.z; ++i) {
            int type = int(vLightPosition[i].w);
            vec3 L;
            float atten = 1.0;
            if (type == 3) {
                L = -normalize(vLightDirection[i].xyz);
            } else {
                vec3 toLight = vLightPosition[i].xyz - P;
                float d = length(toLight);
                if (d > vLightDirection[i].w) continue;
                L = d > 0.0 ? toLight / d : vec3(0.0, 0.0, -1.0);
                float denom = vLightAtten[i].x + vLightAtten[i].y * d + vLightAtten[i].z * d * d;
                atten = denom > 0.0 ? 1.0 / denom : 1.0;
                if (type == 2) {
                    float rho = dot(-normalize(vLightDirection[i].xyz), L);
                    float cosTheta = vLightSpot[i].x, cosPhi = vLightSpot[i].y;
                    if (rho <= cosPhi) atten = 0.0;
                    else if (rho <= cosTheta)
                        atten *= pow((rho - cosPhi) / max(cosTheta - cosPhi, 1e-6), vLightAtten[i].w);
                }
            }
            float NdotL = max(dot(N, L), 0.0);
            sumAmbient += atten * vLightAmbient[i].rgb;
            sumDiffuse += atten * NdotL * vLightDiffuse[i].rgb;
            if (vFlags.y != 0 && NdotL > 0.0) {
                vec3 H = normalize(normalize(-P) + L);
                sumSpecular += atten * pow(max(dot(N, H), 0.0), vMatPower.x) * vLightSpecular[i].rgb;
            }
        }
        vec3 color = me.rgb + ma.rgb * (vAmbient.rgb + sumAmbient) + md.rgb * sumDiffuse;
        fDiffuse = clamp(vec4(color, md.a), 0.0, 1.0);
        fSpecular = clamp(vec4(ms.rgb * sumSpecular, ms.a), 0.0, 1.0);
    } else {
        fDiffuse = vVertexFlags.z != 0 ? aDiffuse : vec4(1.0);
        fSpecular = vVertexFlags.w != 0 ? aSpecular : vec4(0.0);
    }

    if (vFlags.w != 0) {
        float d = abs(P.z);
        float start = vFogParams.x, end = vFogParams.y;
        fFog = end != start ? clamp((end - d) / (end - start), 0.0, 1.0) : (d < end ? 1.0 : 0.0);
    }
}
)";

// The stage and pixel states come from the uniform block, or, in a program made for one set of them
// (FIXED_VARIANT), from constants that let the compiler drop every branch the states do not take.
const char* const kGlFixedFragment = R"(
#ifndef FIXED_VARIANT
#define STAGE_COLOR(s) vStageColor[s]
#define STAGE_ALPHA(s) vStageAlpha[s]
#define FIXED_SPECULAR vFlags.y
#define FIXED_FOG vFlags.w
#define ALPHA_TEST_ON vAlphaTest.x
#define ALPHA_FUNC vAlphaTest.y
#endif
in vec4 fDiffuse;
in vec4 fSpecular;
in vec2 fTex0;
in vec2 fTex1;
in float fFog;
out vec4 outColor;

uniform sampler2D uStage0;
uniform sampler2D uStage1;
uniform sampler2D uStage2;

vec4 SampleStage(int stage) {
    if (STAGE_ALPHA(stage).w == 0) return vec4(1.0);
    vec2 uv = STAGE_COLOR(stage).w == 1 ? fTex1 : fTex0;
    if (stage == 0) return texture(uStage0, uv);
    if (stage == 1) return texture(uStage1, uv);
    return texture(uStage2, uv);
}

vec4 Arg(int arg, vec4 current, vec4 tex) {
    if (arg == 0) return fDiffuse;
    if (arg == 1) return current;
    if (arg == 2) return tex;
    if (arg == 3) return vTextureFactor;
    return fSpecular;
}

vec4 Combine(int op, vec4 a1, vec4 a2, vec4 tex) {
    if (op == 2) return a1;
    if (op == 3) return a2;
    if (op == 4) return a1 * a2;
    if (op == 5) return a1 * a2 * 2.0;
    if (op == 6) return a1 * a2 * 4.0;
    if (op == 7) return a1 + a2;
    if (op == 8) return a1 + a2 - 0.5;
    if (op == 9) return (a1 + a2 - 0.5) * 2.0;
    if (op == 10) return a1 - a2;
    if (op == 11) return a1 + a2 - a1 * a2;
    if (op == 12) return mix(a2, a1, fDiffuse.a);
    if (op == 13) return mix(a2, a1, tex.a);
    return a1;
}

bool Compare(int func, float a, float b) {
    if (func == 1) return false;
    if (func == 2) return a < b;
    if (func == 3) return a == b;
    if (func == 4) return a <= b;
    if (func == 5) return a > b;
    if (func == 6) return a != b;
    if (func == 7) return a >= b;
    return true;
}

void main() {
    vec4 current = fDiffuse;
    for (int s = 0; s < 3; ++s) {
        int colorOp = STAGE_COLOR(s).x;
        if (colorOp <= 1) break;
        vec4 tex = SampleStage(s);
        vec3 rgb = clamp(Combine(colorOp, Arg(STAGE_COLOR(s).y, current, tex), Arg(STAGE_COLOR(s).z, current, tex), tex).rgb, 0.0, 1.0);
        float a = current.a;
        int alphaOp = STAGE_ALPHA(s).x;
        if (alphaOp > 1)
            a = clamp(Combine(alphaOp, Arg(STAGE_ALPHA(s).y, current, tex), Arg(STAGE_ALPHA(s).z, current, tex), tex).a, 0.0, 1.0);
        current = vec4(rgb, a);
    }
    if (FIXED_SPECULAR != 0) current.rgb = clamp(current.rgb + fSpecular.rgb, 0.0, 1.0);
    if (FIXED_FOG != 0) current.rgb = mix(vFogColor.rgb, current.rgb, fFog);
    if (ALPHA_TEST_ON != 0 && !Compare(ALPHA_FUNC, floor(current.a * 255.0 + 0.5), float(vAlphaTest.z))) discard;
    outColor = current;
}
)";

} // namespace Platform
