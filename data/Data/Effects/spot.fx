// Decals lying on the ground: blended over it, never writing depth, drawn from either side.
param texture2D tex0;

technique Spot {
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
