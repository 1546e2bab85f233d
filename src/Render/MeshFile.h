#pragma once
// The binary files the description loader reads, as plain records, with one reader and one writer
// for each kind: mesh files (the older kind and "p3d"), animated mesh files with their vertex
// animation blocks, and key-frame files of "Data\Animations". Everything is little-endian.
//
// The readers take a whole file and check it whole before anything is built: a count that runs
// past the data or exceeds what the data could hold, an index at or past its vertex count, a
// position, pose, shape, frame time or key that is not finite, a 260-byte name without its zero
// byte, or nodes nested deeper than kMaxDepth refuse the file with a reason, and the output is left
// untouched. Counts of 0 or below read nothing. The tools, the tests and the game share these.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Render/PVertex.h"

namespace MeshFile {

constexpr int kNameBytes = 260;
constexpr int kShapeBytes = 52;
constexpr int kPoseBytes = 28;
constexpr int kCollisionBytes = 96;
constexpr int kKeyBytes = 52;
// Deeper trees are refused; no demo object comes near it, and it bounds the readers' recursion.
constexpr int kMaxDepth = 32;

// Body, bounding and collision shapes. Kind 0 box, 1 cylinder; others are ignored by the loader.
struct Shape {
    int32_t kind = 0;
    float a = 0.0f; // box extent along x
    float b = 0.0f; // box height (z); cylinder length
    float c = 0.0f; // box extent along y
    Vec3 position;  // centre of the bottom face
    Quat rotation = QuatIdentity();
    float d = 0.0f; // cylinder diameter
    float mass = 0.0f;
};

struct Pose {
    Vec3 position;
    Quat rotation = QuatIdentity();
};

// A collision box of an older node: centre at byte 0, half extents at byte 16; the other bytes are
// kept as they were so a file reads and writes back unchanged.
struct CollisionRecord {
    uint8_t bytes[kCollisionBytes] = {};

    static CollisionRecord Make(const Vec3& centre, const Vec3& halfExtents);
    Vec3 Centre() const;
    Vec3 HalfExtents() const;
};

// A node of a mesh file. Older nodes use the collision boxes; p3d nodes the pose, body and shapes.
struct Node {
    int32_t unused = 0;
    std::string name;
    Pose pose;
    Shape body;
    std::vector<CPVertex> vertices;
    std::vector<CPIndex> indices;
    std::vector<CollisionRecord> boxes;
    std::vector<Shape> shapes;
    std::vector<Node> children;
};

// One entry of the optional trailer: a name and a 4x3 matrix stored column by column.
struct TrailerEntry {
    std::string name;
    float matrix[12] = {};
};

enum class MeshKind { Older, P3d };

struct Mesh {
    int32_t header = 0;
    std::vector<Node> nodes;
    bool hasTrailer = false;
    std::vector<TrailerEntry> trailer;
};

struct Frame {
    std::vector<CPVertex> vertices;
    std::vector<CPIndex> indices;
};

// The vertex-animation block: frame time in units of 1/2400 s, then the frames.
struct VertexAnimation {
    float frameTime = 0.0f;
    std::vector<Frame> frames;
};

struct AnimatedNode {
    std::string name;
    Pose pose;
    Shape body;
    Shape bounds;
    VertexAnimation animation;
    std::vector<Shape> shapes;
    std::vector<AnimatedNode> children;
};

struct AnimatedMesh {
    int32_t header[2] = {0, 0};
    AnimatedNode root;
};

// One key: its time (the key's duration in seconds) and a 4x3 matrix stored column by column.
struct Key {
    float time = 0.0f;
    float matrix[12] = {};
};

struct KeyObject {
    std::string name;
    std::vector<Key> keys;
};

struct KeyFrames {
    std::vector<KeyObject> objects;
};

// Readers: true and the whole file in `out`, or false with the reason and `out` untouched.
bool ReadMesh(const uint8_t* data, size_t size, MeshKind kind, Mesh& out, std::string& error);
bool ReadAnimatedMesh(const uint8_t* data, size_t size, AnimatedMesh& out, std::string& error);
bool ReadKeyFrames(const uint8_t* data, size_t size, KeyFrames& out, std::string& error);

// Writers: the bytes of the file. Names longer than 259 bytes are cut so the zero byte fits.
std::vector<uint8_t> WriteMesh(const Mesh& mesh, MeshKind kind);
std::vector<uint8_t> WriteAnimatedMesh(const AnimatedMesh& mesh);
std::vector<uint8_t> WriteKeyFrames(const KeyFrames& keys);

// The kind a mesh file name asks for: "p3d" when its last three characters are, in any case.
MeshKind KindOfFile(const std::string& name);

} // namespace MeshFile
