// A mirror finish: the environment picture (tex0) looked up by the second texture pair, which the
// "environment" vertex effect writes, a little darker where the surface turns away from the light.
param texture2D tex0;

vertex ChromeVS {
    out vec2 reflected;
    out float facing;
    void main() {
        reflected = aTex1;
        facing = 0.65 + 0.35 * max(dot(normalize(aNormal), vec3(-0.6, 0.0, 0.8)), 0.0);
        gl_Position = VsToClip(vWorldViewProj * vec4(aPosition.xyz, 1.0));
    }
}

fragment ChromeFS {
    in vec2 reflected;
    in float facing;
    out vec4 outColor;
    void main() { outColor = vec4(texture(tex0, reflected).rgb * facing, 1.0); }
}

technique Chrome {
    pass P0 {
        vertex = ChromeVS;
        fragment = ChromeFS;
        FogEnable = false;
    }
}
