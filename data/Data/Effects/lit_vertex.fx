// The demo's lit solids: the look of the fixed-function drawing (the texture times the colour lit at
// the vertices, then the device's fog), with the sun and the ambient colour taken from the frame's
// shared values, so the renderer's light factor scales them. The device's other lights (lamps,
// blasts, pickups) and each light's own ambient part light as the fixed-function drawing lights
// them. Requested with ",shared"; the first such effect carries the frame's values for every pooled
// effect, so all five are declared. Until a frame with a camera sets them (the menu has none): no
// sun and a whole ambient, so the texture shows as it is, as the menu's showroom shows it.
param texture2D tex0;
param float4x4 g_mViewInv shared;
param float4 g_vLight shared = 0, 0, -1, 1;
param float4 g_vLightColor shared = 0, 0, 0, 1;
param float4 g_vAmbient shared = 1, 1, 1, 1;
param float4 g_vCameraPos shared;

vertex LitVertexVS {
    out vec2 uv;
    out vec4 lit;
    out float fog;

    vec4 Source(int source, vec4 material) {
        if (source == 1 && vVertexFlags.z != 0) return aDiffuse;
        if (source == 2 && vVertexFlags.w != 0) return aSpecular;
        return material;
    }

    void main() {
        uv = aTex0;
        vec4 world = vec4(aPosition.xyz, 1.0);
        gl_Position = VsToClip(vWorldViewProj * world);
        vec3 P = (vWorldView * world).xyz;
        fog = 1.0;
        if (vFlags.w != 0) {
            float z = abs(P.z), start = vFogParams.x, end = vFogParams.y;
            fog = end != start ? clamp((end - z) / (end - start), 0.0, 1.0) : (z < end ? 1.0 : 0.0);
        }
        // Unlit while the device's lighting is off: the vertex colour, as the fixed-function
        // drawing has it.
        if (vFlags.x == 0) {
            lit = vVertexFlags.z != 0 ? aDiffuse : vec4(1.0);
            return;
        }
        // Lit in view space with the device's normal matrix, as the fixed-function drawing lights.
        vec3 N = mat3(vNormalMatrix) * aNormal;
        if (vMisc.x != 0 && dot(N, N) > 0.0) N = normalize(N);
        vec3 ambient = g_vAmbient.rgb;
        vec3 diffuse = vec3(0.0);
        vec3 sun = mat3(vView) * g_vLight.xyz;
        if (dot(sun, sun) > 0.0) diffuse = g_vLightColor.rgb * max(dot(N, -normalize(sun)), 0.0);
        for (int i = 0; i < vFlags.z; ++i) {
            int type = int(vLightPosition[i].w);
            // The sun is the frame's; its record adds only its ambient part.
            if (type == 3) {
                ambient += vLightAmbient[i].rgb;
                continue;
            }
            vec3 toLight = vLightPosition[i].xyz - P;
            float d = length(toLight);
            if (d > vLightDirection[i].w) continue;
            vec3 L = d > 0.0 ? toLight / d : vec3(0.0, 0.0, -1.0);
            float denom = vLightAtten[i].x + vLightAtten[i].y * d + vLightAtten[i].z * d * d;
            float atten = denom > 0.0 ? 1.0 / denom : 1.0;
            if (type == 2) {
                float rho = dot(-normalize(vLightDirection[i].xyz), L);
                float cosTheta = vLightSpot[i].x, cosPhi = vLightSpot[i].y;
                if (rho <= cosPhi) atten = 0.0;
                else if (rho <= cosTheta)
                    atten *= pow((rho - cosPhi) / max(cosTheta - cosPhi, 1e-6), vLightAtten[i].w);
            }
            ambient += atten * vLightAmbient[i].rgb;
            diffuse += atten * max(dot(N, L), 0.0) * vLightDiffuse[i].rgb;
        }
        vec4 md = Source(vMatSources.x, vMatDiffuse);
        vec4 ma = Source(vMatSources.z, vMatAmbient);
        vec4 me = Source(vMatSources.w, vMatEmissive);
        lit = clamp(vec4(me.rgb + ma.rgb * ambient + md.rgb * diffuse, md.a), 0.0, 1.0);
    }
}

fragment LitVertexFS {
    in vec2 uv;
    in vec4 lit;
    in float fog;
    out vec4 outColor;
    void main() {
        vec3 color = clamp(texture(tex0, uv).rgb * lit.rgb, 0.0, 1.0);
        outColor = vec4(mix(vFogColor.rgb, color, fog), lit.a);
    }
}

technique LitVertex {
    pass P0 {
        vertex = LitVertexVS;
        fragment = LitVertexFS;
        // Opaque solids test and write depth, as "simple.fx" does.
        ZEnable = true;
        ZWriteEnable = true;
    }
}

technique Fixed {
    pass P0 {
        fixed;
        ZEnable = true;
        ZWriteEnable = true;
    }
}
