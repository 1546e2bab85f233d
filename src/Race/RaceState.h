#pragma once
// What a race changes outside its own objects: the game-time factor, the sound pitch, the gloom
// view's screen effect, the blurs and the fade. The level takes the values when it is made and puts
// them back when it stops, so that a slow-motion pickup or a gloom view cut short by the end of the
// race does not carry over into the menus.
struct RaceStateSnapshot {
    float timeScale = 1.0f;
    float pitch = 1.0f;
    float motionBlurAmount = 0.0f; // 0: off
    float radialBlur = 0.0f;
    float fade = 1.0f; // 1: the scene untouched

    static RaceStateSnapshot Take();
    void Restore() const;
};
