// The car's ground shadow (layer 120): the shadow texture's dark blot laid over the road by its
// alpha. The decal is rebuilt on the road each frame a little above it, so it never writes depth.
param texture2D tex0;

technique CarShadow {
    pass P0 {
        fixed;
        Lighting = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        Stage[0].ColorOp = Modulate;
        Stage[0].AlphaOp = Modulate;
        Stage[0].AlphaArg1 = Texture;
        Stage[0].AlphaArg2 = Diffuse;
    }
}
