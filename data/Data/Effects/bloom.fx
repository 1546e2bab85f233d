// The bloom's first pass, on the 256 x 192 copy of the picture: what is brighter than the
// threshold, blurred along the rows. Drawn with the post passes' states; fog stays off.
param texture2D source;
param float threshold = 0.6;

vertex BloomVS {
    out vec2 uv;
    void main() {
        uv = aTex0;
        gl_Position = VsScreenToClip(aPosition);
    }
}

fragment BrightRows {
    in vec2 uv;
    out vec4 outColor;
    void main() {
        const float weight[5] = float[](0.227027, 0.1945946, 0.1216216, 0.054054, 0.016216);
        vec2 step = vec2(1.0 / 256.0, 0.0);
        vec3 sum = vec3(0.0);
        for (int i = -4; i <= 4; ++i) {
            vec3 c = texture(source, uv + step * float(i)).rgb;
            sum += max(c - vec3(threshold), vec3(0.0)) * weight[abs(i)];
        }
        outColor = vec4(sum, 1.0);
    }
}

technique Bloom {
    pass P0 {
        vertex = BloomVS;
        fragment = BrightRows;
        FogEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
    }
}
