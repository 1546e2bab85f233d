// The speed blur: every pixel of the screen copy (tex0) smeared back along the direction (fx, fy)
// by SpeedRatio hundredths of the screen, as much as the mask's alpha (tex1) lets it: clear in the
// middle, full at the edges. Forward 0 smears the other way. Opaque: the renderer lays the result
// over the screen by its alpha. Fog stays off.
param texture2D tex0;
param texture2D tex1;
param float SpeedRatio;
param int Forward = 1;
param float fx;
param float fy;

vertex BlurVS {
    out vec2 uv;
    void main() {
        uv = aTex0;
        gl_Position = VsScreenToClip(aPosition);
    }
}

fragment Smear {
    in vec2 uv;
    out vec4 outColor;
    void main() {
        float amount = SpeedRatio * 0.01 * texture(tex1, uv).a;
        vec2 along = vec2(fx, -fy) * amount * (Forward != 0 ? 1.0 : -1.0);
        vec3 sum = vec3(0.0);
        for (int i = 0; i < 8; ++i) sum += texture(tex0, uv - along * (float(i) / 7.0)).rgb;
        outColor = vec4(sum / 8.0, 1.0);
    }
}

technique Blur {
    pass P0 {
        vertex = BlurVS;
        fragment = Smear;
        FogEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
    }
}
