// Stands in for an effect that does not compile: unlit magenta, so it is seen at once.
technique Error {
    pass P0 {
        fixed;
        Lighting = false;
        TextureFactor = 0xFFFF00FF;
        Stage[0].ColorOp = SelectArg1;
        Stage[0].ColorArg1 = TFactor;
        Stage[0].AlphaOp = SelectArg1;
        Stage[0].AlphaArg1 = TFactor;
    }
}
