// An explosion's flash: a soft glow added over everything near it, unfogged, its alpha the fade.
param texture2D tex0;

technique ParticleLight {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = One;
        CullMode = None;
        Stage[0].ColorOp = Modulate;
        Stage[0].AlphaOp = Modulate;
        Stage[0].AlphaArg1 = Texture;
        Stage[0].AlphaArg2 = Diffuse;
    }
}
