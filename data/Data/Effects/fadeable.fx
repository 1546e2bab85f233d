// Unlit and blended by the vertex alpha, so the "fade" and "flick" vertex effects show: the
// texture times the vertex colour.
param texture2D tex0;

technique Fadeable {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        Stage[0].ColorOp = Modulate;
        Stage[0].ColorArg1 = Texture;
        Stage[0].ColorArg2 = Diffuse;
        Stage[0].AlphaOp = Modulate;
        Stage[0].AlphaArg1 = Texture;
        Stage[0].AlphaArg2 = Diffuse;
    }
}
