// The bloom's second pass: the bright rows blurred along the columns and scaled by the gain. The
// renderer adds the result onto the screen. Fog stays off.
param texture2D source;
param float gain = 0.9;

vertex BloomVS {
    out vec2 uv;
    void main() {
        uv = aTex0;
        gl_Position = VsScreenToClip(aPosition);
    }
}

fragment Columns {
    in vec2 uv;
    out vec4 outColor;
    void main() {
        const float weight[5] = float[](0.227027, 0.1945946, 0.1216216, 0.054054, 0.016216);
        vec2 step = vec2(0.0, 1.0 / 192.0);
        vec3 sum = vec3(0.0);
        for (int i = -4; i <= 4; ++i) sum += texture(source, uv + step * float(i)).rgb * weight[abs(i)];
        outColor = vec4(sum * gain, 1.0);
    }
}

technique Bloom {
    pass P0 {
        vertex = BloomVS;
        fragment = Columns;
        FogEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
    }
}
