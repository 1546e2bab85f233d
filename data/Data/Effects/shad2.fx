// The renderer's shadow material (layer 16): darkens what lies under it to half.
technique Shadow {
    pass P0 {
        fixed;
        Lighting = false;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = Zero;
        DestBlend = SrcColor;
        TextureFactor = 0xFF808080;
        Stage[0].ColorOp = SelectArg1;
        Stage[0].ColorArg1 = TFactor;
    }
}
