// The clouds: puffs cut from the 4 x 4 cloud atlas, the atlas times the puff corners' colours,
// blended over the sky in one draw, both windings.
param texture2D tex0;

technique VolumeCloud {
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
        Stage[0].ColorOp = Modulate;
        Stage[0].ColorArg1 = Texture;
        Stage[0].ColorArg2 = Diffuse;
        Stage[0].AlphaOp = Modulate;
        Stage[0].AlphaArg1 = Texture;
        Stage[0].AlphaArg2 = Diffuse;
    }
}
