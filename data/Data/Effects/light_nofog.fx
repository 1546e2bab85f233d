// Shot streaks and explosion stacks: the texture times the vertex colour, added to what is behind,
// never fogged; both windings drawn.
param texture2D tex0;

technique LightNoFog {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
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
