// Scenery lit per pixel by the frame's shared values: the sun's direction and colour, the ambient
// colour, the camera's position and its inverse view. Requested with ",shared" by the first
// effect of a scene, so the frame sets the values through it and every pooled effect sees them.
param texture2D tex0;
param float4x4 g_mViewInv shared;
param float4 g_vLight shared = 0, 0, -1, 1;
param float4 g_vLightColor shared = 1, 1, 1, 1;
param float4 g_vAmbient shared = 0.3, 0.3, 0.3, 1;
param float4 g_vCameraPos shared;
param float shininess = 24;

vertex LitVS {
    out vec3 wPos;
    out vec3 wNormal;
    out vec2 uv;
    out float viewDepth;
    void main() {
        vec4 world = vWorld * vec4(aPosition.xyz, 1.0);
        wPos = world.xyz;
        wNormal = mat3(vWorld) * aNormal;
        uv = aTex0;
        viewDepth = (vView * world).z;
        gl_Position = VsToClip(vProjection * (vView * world));
    }
}

fragment LitFS {
    in vec3 wPos;
    in vec3 wNormal;
    in vec2 uv;
    in float viewDepth;
    out vec4 outColor;
    void main() {
        vec3 N = normalize(wNormal);
        vec3 L = -normalize(g_vLight.xyz);
        // The camera sits at the translation of the inverse view; g_vCameraPos says the same.
        vec3 eye = mix(g_mViewInv[3].xyz, g_vCameraPos.xyz, 0.5);
        vec3 H = normalize(normalize(eye - wPos) + L);
        float diffuse = max(dot(N, L), 0.0);
        float specular = diffuse > 0.0 ? pow(max(dot(N, H), 0.0), shininess) * 0.25 : 0.0;
        vec4 tex = texture(tex0, uv);
        vec3 color = tex.rgb * (g_vAmbient.rgb + g_vLightColor.rgb * diffuse) + g_vLightColor.rgb * specular;
        // Linear fog as the device has it set.
        if (vFlags.w != 0) {
            float f = clamp((vFogParams.y - abs(viewDepth)) / max(vFogParams.y - vFogParams.x, 1e-3), 0.0, 1.0);
            color = mix(vFogColor.rgb, color, f);
        }
        outColor = vec4(clamp(color, 0.0, 1.0), tex.a);
    }
}

technique PerPixel {
    pass P0 {
        vertex = LitVS;
        fragment = LitFS;
    }
}

technique Fixed {
    pass P0 {
        fixed;
    }
}
