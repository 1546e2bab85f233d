// A sky billboard blended over the dome: the texture's colour, its alpha times the billboard's.
param texture2D tex0;

technique SkyBillboard {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        Sampler[0].AddressU = Clamp;
        Sampler[0].AddressV = Clamp;
        Stage[0].ColorOp = SelectArg1;
        Stage[0].ColorArg1 = Texture;
        Stage[0].AlphaOp = Modulate;
        Stage[0].AlphaArg1 = Texture;
        Stage[0].AlphaArg2 = Diffuse;
    }
}
