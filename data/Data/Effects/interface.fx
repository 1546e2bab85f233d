// Menu and HUD screens, fonts and cursors (layers 200 and up): the texture as it is, point sampling, texel for pixel.
// Unlit and unfogged; the quads carry no colour, so the texture alone gives colour and alpha.
param texture2D tex0;

technique Screen {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        Stage[0].ColorOp = SelectArg1;
        Stage[0].ColorArg1 = Texture;
        Stage[0].AlphaOp = SelectArg1;
        Stage[0].AlphaArg1 = Texture;
        Sampler[0].AddressU = Clamp;
        Sampler[0].AddressV = Clamp;
        Sampler[0].MinFilter = Point;
        Sampler[0].MagFilter = Point;
        Sampler[0].MipFilter = None;
    }
}
