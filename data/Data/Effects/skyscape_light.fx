// The dome's second pass, over the clouds: a haze of the sun's colour around the sun (device light
// 0, which the sky has just set), added to what is there. Lighting is on only so that the device
// hands the pass its lights.
param texture2D tex0;

vertex HazeVS {
    out vec3 viewDir;
    void main() {
        vec4 view = vWorldView * vec4(aPosition.xyz, 1.0);
        viewDir = view.xyz;
        gl_Position = VsToClip(vWorldViewProj * vec4(aPosition.xyz, 1.0));
    }
}

fragment HazeFS {
    in vec3 viewDir;
    out vec4 outColor;
    void main() {
        vec3 toSun = -normalize(vLightDirection[0].xyz);
        float facing = max(dot(normalize(viewDir), toSun), 0.0);
        float haze = vFlags.z > 0 ? pow(facing, 48.0) * 0.45 : 0.0;
        outColor = vec4(vLightDiffuse[0].rgb * haze, 1.0);
    }
}

technique Haze {
    pass P0 {
        vertex = HazeVS;
        fragment = HazeFS;
        Lighting = true;
        FogEnable = false;
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
        CullMode = None;
    }
}
