// The stand-in for an effect file that cannot be read, and the plain look of a description without
// an effect: the device's fixed-function drawing, texture times lit colour.
param texture2D tex0;

technique Fixed {
    pass P0 {
        fixed;
        // Opaque solids test and write depth even where the state before (the loading screen's,
        // until a level restores the defaults) has it off.
        ZEnable = true;
        ZWriteEnable = true;
    }
}
