// Screen layers (200 and up): textured quads in pixels, unlit and unfogged, blended by the
// texture's alpha over the scene, never hidden by it.
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
        Stage[0].ColorOp = Modulate;
        Stage[0].AlphaOp = Modulate;
        Stage[0].AlphaArg1 = Texture;
        Stage[0].AlphaArg2 = Diffuse;
        Sampler[0].AddressU = Clamp;
        Sampler[0].AddressV = Clamp;
        Sampler[0].MinFilter = Point;
        Sampler[0].MagFilter = Point;
        Sampler[0].MipFilter = None;
    }
}
