// Translucent unlit panels: the vertex colour with its alpha, over what is already drawn.
technique Glass {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        Stage[0].ColorOp = SelectArg2;
        Stage[0].ColorArg2 = Diffuse;
        Stage[0].AlphaOp = SelectArg2;
        Stage[0].AlphaArg2 = Diffuse;
    }
}
