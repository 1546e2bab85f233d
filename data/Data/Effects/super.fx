// The super weapon's white-out: a quad over the whole screen in pixels, its vertex grey added to
// the picture, no texture, never hidden by depth.
technique Super {
    pass P0 {
        fixed;
        Lighting = false;
        FogEnable = false;
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
        CullMode = None;
        Stage[0].ColorOp = SelectArg1;
        Stage[0].ColorArg1 = Diffuse;
        Stage[0].AlphaOp = SelectArg1;
        Stage[0].AlphaArg1 = Diffuse;
    }
}
