// The sky dome, seen from inside: the dome texture times the colour of the rings, unlit, unfogged,
// writing no depth (the sky clears the depth buffer after it anyway). The texture repeats four
// times around the dome.
param texture2D tex0;

technique SkyDome {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
        Sampler[0].AddressU = Wrap;
        Sampler[0].AddressV = Wrap;
        Stage[0].ColorOp = Modulate;
        Stage[0].ColorArg1 = Texture;
        Stage[0].ColorArg2 = Diffuse;
        Stage[0].AlphaOp = SelectArg2;
        Stage[0].AlphaArg2 = Diffuse;
    }
}
