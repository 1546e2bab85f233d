#include "Render/PAnimatedObject.h"

#include <algorithm>
#include <cmath>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"

namespace {

float Determinant3(const Mat4& m) {
    return m.m[0][0] * (m.m[1][1] * m.m[2][2] - m.m[1][2] * m.m[2][1]) -
           m.m[0][1] * (m.m[1][0] * m.m[2][2] - m.m[1][2] * m.m[2][0]) +
           m.m[0][2] * (m.m[1][0] * m.m[2][1] - m.m[1][1] * m.m[2][0]);
}

} // namespace

void CPAnimatedObject::StartAnimation(const AnimationRequest& request, bool restart) {
    if (!restart && currentName == request.name) return;
    const auto* animation = animations.Find(request.name);
    if (!animation) return;
    currentName = request.name;
    currentAnimation = *animation;
    startTime = TotalTime + request.timeOffset;
    playCount = request.playCount;
    reportFrame = request.reportFrame;
    speed = request.speed;
    listener = request.listener;
    passCounter = 0;
    reportedFrame = -1;
    currentFrame = -1;
    stopped = false;
    for (const auto& effect : vertexEffects)
        if (effect) effect->Reset();
}

void CPAnimatedObject::CopyFrom(const CPAnimatedObject& source) {
    animations = source.animations;
    currentAnimation = source.currentAnimation;
    startTime = source.startTime;
    playCount = source.playCount;
    passCounter = source.passCounter;
    reportedFrame = source.reportedFrame;
    reportFrame = source.reportFrame;
    speed = source.speed;
    listener = source.listener;
    currentFrame = source.currentFrame;
    stopped = source.stopped;
    currentName = source.currentName;
    material_ = source.material_;
    hasVertexEffects = source.hasVertexEffects;
    vertexEffects.clear();
    for (const auto& effect : source.vertexEffects)
        if (effect) vertexEffects.push_back(effect->Clone());
}

int CPAnimatedObject::ChooseFrame() const {
    const int n = FrameCount();
    if (n == 0) return -1;
    const CPAnimation& a = *currentAnimation;
    // Single precision, as the frame times are stored; the elapsed time is taken in double first
    // so that an hour of play keeps its fraction.
    float t = static_cast<float>(TotalTime - startTime) * speed;
    if (a.duration > 0.0f && t > a.duration) {
        // Whole passes off at once; an exact multiple stays at the end of its pass.
        double rest = std::fmod(static_cast<double>(t), static_cast<double>(a.duration));
        if (rest <= 0.0) rest = a.duration;
        t = static_cast<float>(rest);
    }
    if (!(a.frameTime > 0.0f)) return 0;
    const float q = t / a.frameTime;
    if (!(q >= 0.0f)) return 0;
    if (q >= static_cast<float>(n - 1)) return n - 1;
    return static_cast<int>(q);
}

int CPAnimatedObject::ShownFrame() const {
    const int n = FrameCount();
    if (n == 0 || currentFrame < 0) return currentFrame < 0 ? -1 : 0;
    return std::min(currentFrame, n - 1);
}

int CPAnimatedObject::FrameToFill() const {
    const int n = FrameCount();
    if (n == 0) return -1;
    if (stopped) return std::max(ShownFrame(), 0);
    const int next = ChooseFrame();
    const int shown = ShownFrame();
    if (shown >= 0 && next < shown && playCount > 0 && passCounter + 1 >= playCount) return std::max(n - 2, 0);
    return next;
}

int CPAnimatedObject::GetVertexCount() {
    const int frame = FrameToFill();
    return frame < 0 ? 0 : static_cast<int>(currentAnimation->frames[static_cast<size_t>(frame)].vertices.size());
}

int CPAnimatedObject::GetIndexCount() {
    const int frame = FrameToFill();
    return frame < 0 ? 0 : static_cast<int>(currentAnimation->frames[static_cast<size_t>(frame)].indices.size());
}

void CPAnimatedObject::Tell(const char* command) const {
    if (!listener) return;
    if (CPScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByObject(listener.Get(), command, FormatHandle(listener.Get()));
}

void CPAnimatedObject::Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int) {
    const int n = FrameCount();
    if (n == 0) return;
    // The frame is settled and written before anyone hears of it: the owner may start another
    // animation, and what the block counted for is this one's frame.
    const CPRefPtr<CPAnimation> animation = currentAnimation;
    bool stoppedNow = false, reportNow = false;
    if (!stopped) {
        const int next = ChooseFrame();
        const int shown = ShownFrame();
        currentFrame = next;
        if (shown >= 0 && next < shown) {
            reportedFrame = -1;
            ++passCounter;
            if (playCount > 0 && passCounter >= playCount) {
                stopped = stoppedNow = true;
                currentFrame = std::max(n - 2, 0);
            }
        }
        if (reportFrame >= 0 && reportedFrame == -1 && next >= reportFrame) {
            reportedFrame = next;
            reportNow = true;
        }
    }
    const CPAnimation::FrameRecord& frame = animation->frames[static_cast<size_t>(std::clamp(currentFrame, 0, n - 1))];
    const Mat4 world = owner_ ? owner_->GetWorldMatrix() : MatIdentity();
    const size_t vertexCount = frame.vertices.size();
    for (size_t i = 0; i < vertexCount; ++i) {
        const CPVertex& from = frame.vertices[i];
        CPVertex& to = vertices[i];
        to = from;
        const Vec4 p = Vec3Transform(from.position, world);
        to.position = Vec3(p.x, p.y, p.z);
        to.normal = Vec3TransformNormal(from.normal, world);
    }
    if (hasVertexEffects)
        for (const CPRefPtr<CPVertexEffect>& effect : vertexEffects)
            if (effect) effect->Apply(vertices, vertices, static_cast<int>(vertexCount));

    const size_t indexCount = frame.indices.size();
    for (size_t i = 0; i < indexCount; ++i) indices[i] = static_cast<CPIndex>(frame.indices[i] + base);
    // A mirroring matrix turns every triangle over; swapping two corners turns it back.
    if (owner_ && Determinant3(world) < 0.0f)
        for (size_t i = 0; i + 2 < indexCount; i += 3) std::swap(indices[i + 1], indices[i + 2]);
    if (stoppedNow) {
        Tell("animation_stopped");
        if (owner_) owner_->NotifyAnimationStopped();
        currentName.clear();
    }
    if (reportNow) {
        Tell("animation_report");
        if (owner_) owner_->NotifyAnimationReport();
    }
}
