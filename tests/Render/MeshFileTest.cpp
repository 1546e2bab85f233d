// The mesh, animated-mesh and key-frame formats: round trips both ways, and every kind of bad
// input refused whole.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "Render/MeshFile.h"

using namespace MeshFile;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

CPVertex Vertex(float x, float y, float z) {
    CPVertex v;
    v.position = {x, y, z};
    v.normal = {0, 0, 1};
    v.diffuse = 0x80112233u;
    v.tu = x;
    v.tv = y;
    return v;
}

Shape Box(float a, float b, float c, float mass) {
    Shape s;
    s.kind = 0;
    s.a = a;
    s.b = b;
    s.c = c;
    s.position = {1, 2, 3};
    s.rotation = {0, 0, 0.6f, 0.8f};
    s.mass = mass;
    return s;
}

Node Quad(const std::string& name) {
    Node node;
    node.unused = 7;
    node.name = name;
    node.vertices = {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(1, 1, 0), Vertex(0, 1, 0)};
    node.indices = {0, 1, 2, 0, 2, 3};
    return node;
}

Mesh SmallMesh(MeshKind kind) {
    Mesh mesh;
    mesh.header = 3;
    Node root = Quad("Body");
    root.pose = {{1, 2, 3}, {0, 0, 0.6f, 0.8f}};
    root.body = Box(2, 1, 4, 1200);
    if (kind == MeshKind::P3d) {
        root.shapes = {Box(1, 2, 3, 5)};
        Shape cylinder;
        cylinder.kind = 1;
        cylinder.b = 0.3f;
        cylinder.d = 0.7f;
        root.shapes.push_back(cylinder);
    } else {
        root.boxes = {CollisionRecord::Make({0, 0, 1}, {1, 1, 1})};
    }
    root.children = {Quad("wheel")};
    mesh.nodes = {root};
    return mesh;
}

AnimatedMesh SmallAnimated() {
    AnimatedMesh mesh;
    mesh.header[0] = 1;
    mesh.header[1] = 2;
    AnimatedNode& root = mesh.root;
    root.name = "Flag";
    root.pose = {{0, 0, 1}, {0, 0, 0, 1}};
    root.body = Box(1, 1, 1, 0);
    root.bounds = Box(2, 2, 2, 1);
    root.animation.frameTime = 240.0f;
    Frame frame;
    frame.vertices = {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)};
    frame.indices = {0, 1, 2};
    root.animation.frames = {frame, frame};
    root.shapes = {Box(1, 1, 1, 2)};
    AnimatedNode child;
    child.name = "pole";
    child.animation.frameTime = 240.0f;
    child.animation.frames = {frame};
    root.children = {child};
    return mesh;
}

KeyFrames SmallKeys() {
    KeyFrames keys;
    KeyObject door;
    door.name = "Door";
    for (int k = 0; k < 3; ++k) {
        Key key;
        key.time = 0.5f * k;
        for (int i = 0; i < 12; ++i) key.matrix[i] = static_cast<float>(i + k);
        door.keys.push_back(key);
    }
    keys.objects = {door, KeyObject{"lid", {}}};
    return keys;
}

bool SameVertex(const CPVertex& a, const CPVertex& b) { return std::memcmp(&a, &b, sizeof(CPVertex)) == 0; }

void ExpectSameNode(const Node& a, const Node& b) {
    EXPECT_EQ(a.unused, b.unused);
    EXPECT_EQ(a.name, b.name);
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    for (size_t i = 0; i < a.vertices.size(); ++i) EXPECT_TRUE(SameVertex(a.vertices[i], b.vertices[i]));
    EXPECT_EQ(a.indices, b.indices);
    ASSERT_EQ(a.boxes.size(), b.boxes.size());
    for (size_t i = 0; i < a.boxes.size(); ++i)
        EXPECT_EQ(0, std::memcmp(a.boxes[i].bytes, b.boxes[i].bytes, kCollisionBytes));
    ASSERT_EQ(a.shapes.size(), b.shapes.size());
    for (size_t i = 0; i < a.shapes.size(); ++i) {
        EXPECT_EQ(a.shapes[i].kind, b.shapes[i].kind);
        EXPECT_EQ(a.shapes[i].rotation, b.shapes[i].rotation);
        EXPECT_EQ(a.shapes[i].d, b.shapes[i].d);
    }
    ASSERT_EQ(a.children.size(), b.children.size());
    for (size_t i = 0; i < a.children.size(); ++i) ExpectSameNode(a.children[i], b.children[i]);
}

void PutInt(std::vector<uint8_t>& bytes, size_t at, int32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
void PutFloat(std::vector<uint8_t>& bytes, size_t at, float v) { std::memcpy(bytes.data() + at, &v, 4); }

// Little-endian counts followed by that many zero bytes.
std::vector<uint8_t> Tail(std::initializer_list<int32_t> counts, size_t zeros) {
    std::vector<uint8_t> bytes;
    for (int32_t c : counts)
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>((c >> (8 * i)) & 0xFF));
    bytes.resize(bytes.size() + zeros, 0);
    return bytes;
}

} // namespace

TEST(MeshFile, MeshRoundTripsBothWays) {
    for (MeshKind kind : {MeshKind::Older, MeshKind::P3d}) {
        for (bool trailer : {false, true}) {
            Mesh mesh = SmallMesh(kind);
            if (trailer) {
                mesh.hasTrailer = true;
                TrailerEntry entry;
                entry.name = "Wheel";
                entry.matrix[3] = 2.5f;
                mesh.trailer = {entry};
            }
            const std::vector<uint8_t> bytes = WriteMesh(mesh, kind);
            Mesh read;
            std::string error;
            ASSERT_TRUE(ReadMesh(bytes.data(), bytes.size(), kind, read, error)) << error;
            EXPECT_EQ(read.header, 3);
            ASSERT_EQ(read.nodes.size(), 1u);
            ExpectSameNode(mesh.nodes[0], read.nodes[0]);
            if (kind == MeshKind::P3d) {
                EXPECT_EQ(read.nodes[0].pose.rotation, mesh.nodes[0].pose.rotation);
                EXPECT_EQ(read.nodes[0].body.mass, 1200.0f);
            }
            EXPECT_EQ(read.hasTrailer, trailer);
            if (trailer) {
                ASSERT_EQ(read.trailer.size(), 1u);
                EXPECT_EQ(read.trailer[0].name, "Wheel");
                EXPECT_EQ(read.trailer[0].matrix[3], 2.5f);
            }
            EXPECT_EQ(WriteMesh(read, kind), bytes);
        }
    }
}

TEST(MeshFile, AnimatedMeshAndKeyFramesRoundTripBothWays) {
    const AnimatedMesh mesh = SmallAnimated();
    const std::vector<uint8_t> bytes = WriteAnimatedMesh(mesh);
    AnimatedMesh read;
    std::string error;
    ASSERT_TRUE(ReadAnimatedMesh(bytes.data(), bytes.size(), read, error)) << error;
    EXPECT_EQ(read.header[1], 2);
    EXPECT_EQ(read.root.name, "Flag");
    EXPECT_EQ(read.root.animation.frameTime, 240.0f);
    ASSERT_EQ(read.root.animation.frames.size(), 2u);
    EXPECT_EQ(read.root.animation.frames[1].indices, (std::vector<CPIndex>{0, 1, 2}));
    EXPECT_EQ(read.root.bounds.mass, 1.0f);
    ASSERT_EQ(read.root.children.size(), 1u);
    EXPECT_EQ(read.root.children[0].name, "pole");
    EXPECT_EQ(WriteAnimatedMesh(read), bytes);

    const KeyFrames keys = SmallKeys();
    const std::vector<uint8_t> keyBytes = WriteKeyFrames(keys);
    KeyFrames readKeys;
    ASSERT_TRUE(ReadKeyFrames(keyBytes.data(), keyBytes.size(), readKeys, error)) << error;
    ASSERT_EQ(readKeys.objects.size(), 2u);
    EXPECT_EQ(readKeys.objects[0].name, "Door");
    ASSERT_EQ(readKeys.objects[0].keys.size(), 3u);
    EXPECT_EQ(readKeys.objects[0].keys[2].time, 1.0f);
    EXPECT_EQ(readKeys.objects[0].keys[2].matrix[11], 13.0f);
    EXPECT_TRUE(readKeys.objects[1].keys.empty());
    EXPECT_EQ(WriteKeyFrames(readKeys), keyBytes);
}

// Every prefix of a valid file is refused and leaves the output as it was.
TEST(MeshFile, EveryPrefixIsRefused) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::function<bool(const std::vector<uint8_t>&, size_t, std::string&)> read;
    };
    const Case cases[] = {
        {"older", WriteMesh(SmallMesh(MeshKind::Older), MeshKind::Older),
         [](const std::vector<uint8_t>& b, size_t n, std::string& e) {
             Mesh out;
             out.header = 99;
             const bool ok = ReadMesh(b.data(), n, MeshKind::Older, out, e);
             return ok || out.header != 99 || !out.nodes.empty();
         }},
        {"p3d", WriteMesh(SmallMesh(MeshKind::P3d), MeshKind::P3d),
         [](const std::vector<uint8_t>& b, size_t n, std::string& e) {
             Mesh out;
             out.header = 99;
             const bool ok = ReadMesh(b.data(), n, MeshKind::P3d, out, e);
             return ok || out.header != 99 || !out.nodes.empty();
         }},
        {"animated", WriteAnimatedMesh(SmallAnimated()),
         [](const std::vector<uint8_t>& b, size_t n, std::string& e) {
             AnimatedMesh out;
             const bool ok = ReadAnimatedMesh(b.data(), n, out, e);
             return ok || !out.root.name.empty();
         }},
        {"keys", WriteKeyFrames(SmallKeys()),
         [](const std::vector<uint8_t>& b, size_t n, std::string& e) {
             KeyFrames out;
             const bool ok = ReadKeyFrames(b.data(), n, out, e);
             return ok || !out.objects.empty();
         }},
    };
    for (const Case& c : cases) {
        for (size_t n = 0; n < c.bytes.size(); ++n) {
            std::string error;
            EXPECT_FALSE(c.read(c.bytes, n, error)) << c.name << " prefix " << n;
            EXPECT_FALSE(error.empty()) << c.name << " prefix " << n;
        }
    }
}

TEST(MeshFile, BadMeshInputIsRefusedWhole) {
    // Offsets into the written p3d file of SmallMesh: header 4, count 4, then the root node.
    const size_t root = 8;
    const size_t name = root + 4;
    const size_t pose = name + kNameBytes;
    const size_t body = pose + kPoseBytes;
    const size_t vertexCount = body + kShapeBytes;
    const size_t firstVertex = vertexCount + 4;
    const size_t indexCount = firstVertex + 4 * sizeof(CPVertex);
    const size_t firstIndex = indexCount + 4;
    const size_t shapeCount = firstIndex + 6 * 2;
    const size_t firstShape = shapeCount + 4;
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> spoil;
    };
    const Case cases[] = {
        {"huge node count", [](std::vector<uint8_t>& b) { PutInt(b, 4, 0x7FFFFFFF); }},
        {"node count past the data", [](std::vector<uint8_t>& b) { PutInt(b, 4, 2); }},
        {"huge vertex count", [&](std::vector<uint8_t>& b) { PutInt(b, vertexCount, 0x40000000); }},
        {"vertex count past the data", [&](std::vector<uint8_t>& b) { PutInt(b, vertexCount, 5000); }},
        {"index past the vertices", [&](std::vector<uint8_t>& b) { b[firstIndex + 4] = 4; }},
        {"huge index count", [&](std::vector<uint8_t>& b) { PutInt(b, indexCount, 0x7FFFFFF0); }},
        {"huge shape count", [&](std::vector<uint8_t>& b) { PutInt(b, shapeCount, 0x10000000); }},
        {"name without a zero", [&](std::vector<uint8_t>& b) { std::memset(b.data() + name, 'a', kNameBytes); }},
        {"NaN position", [&](std::vector<uint8_t>& b) { PutFloat(b, firstVertex + 4, kNaN); }},
        {"infinite position", [&](std::vector<uint8_t>& b) { PutFloat(b, firstVertex + 48 + 8, -kInf); }},
        {"NaN pose", [&](std::vector<uint8_t>& b) { PutFloat(b, pose + 12, kNaN); }},
        {"infinite body mass", [&](std::vector<uint8_t>& b) { PutFloat(b, body + 48, kInf); }},
        {"NaN shape quaternion", [&](std::vector<uint8_t>& b) { PutFloat(b, firstShape + 28, kNaN); }},
    };
    const std::vector<uint8_t> good = WriteMesh(SmallMesh(MeshKind::P3d), MeshKind::P3d);
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.spoil(bytes);
        Mesh out;
        std::string error;
        EXPECT_FALSE(ReadMesh(bytes.data(), bytes.size(), MeshKind::P3d, out, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(out.nodes.empty()) << c.what;
    }
}

// The trailer after the nodes changes no object: when it is damaged the nodes still load.
TEST(MeshFile, AMalformedTrailerIsIgnoredAndTheNodesKept) {
    const struct {
        const char* what;
        std::vector<uint8_t> tail;
    } cases[] = {
        {"one stray byte", {1}},
        {"two stray bytes", {1, 2}},
        {"trailer count past the data", {5, 0, 0, 0}},
        // One entry: a name of 8 bytes and 40 of the matrix's 48 (52 bytes, the smallest entry).
        {"an entry cut inside its matrix", Tail({1, 8}, 8 + 40)},
        // One entry whose name length runs past the 48 bytes that follow it.
        {"a name running past the data", Tail({1, 100}, 48)},
    };
    for (MeshKind kind : {MeshKind::Older, MeshKind::P3d}) {
        const Mesh mesh = SmallMesh(kind);
        for (const auto& c : cases) {
            std::vector<uint8_t> bytes = WriteMesh(mesh, kind);
            bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
            Mesh read;
            std::string error;
            ASSERT_TRUE(ReadMesh(bytes.data(), bytes.size(), kind, read, error)) << c.what << ": " << error;
            EXPECT_EQ(read.header, 3) << c.what;
            ASSERT_EQ(read.nodes.size(), 1u) << c.what;
            ExpectSameNode(mesh.nodes[0], read.nodes[0]);
            EXPECT_FALSE(read.hasTrailer) << c.what;
            EXPECT_TRUE(read.trailer.empty()) << c.what;
        }
    }
}

TEST(MeshFile, CountsOfZeroOrBelowReadNothing) {
    Mesh mesh;
    Node node;
    node.name = "empty";
    mesh.nodes = {node};
    std::vector<uint8_t> bytes = WriteMesh(mesh, MeshKind::Older);
    // Vertex, index, box and child counts of the node, all negative.
    const size_t counts = 8 + 4 + kNameBytes;
    for (int i = 0; i < 4; ++i) PutInt(bytes, counts + 4 * i, -5);
    Mesh read;
    std::string error;
    ASSERT_TRUE(ReadMesh(bytes.data(), bytes.size(), MeshKind::Older, read, error)) << error;
    ASSERT_EQ(read.nodes.size(), 1u);
    EXPECT_TRUE(read.nodes[0].vertices.empty());
    EXPECT_TRUE(read.nodes[0].children.empty());

    PutInt(bytes, 4, -1);
    bytes.resize(8);
    ASSERT_TRUE(ReadMesh(bytes.data(), bytes.size(), MeshKind::Older, read, error)) << error;
    EXPECT_TRUE(read.nodes.empty());
}

TEST(MeshFile, NestingPastTheLimitIsRefused) {
    for (int depth : {kMaxDepth, kMaxDepth + 1}) {
        Mesh mesh;
        Node chain;
        chain.name = "leaf";
        for (int i = 1; i < depth; ++i) {
            Node parent;
            parent.name = "n" + std::to_string(i);
            parent.children = {chain};
            chain = parent;
        }
        mesh.nodes = {chain};
        const std::vector<uint8_t> bytes = WriteMesh(mesh, MeshKind::Older);
        Mesh read;
        std::string error;
        EXPECT_EQ(ReadMesh(bytes.data(), bytes.size(), MeshKind::Older, read, error), depth <= kMaxDepth) << depth;
    }
}

TEST(MeshFile, BadAnimatedAndKeyInputIsRefusedWhole) {
    const std::vector<uint8_t> animated = WriteAnimatedMesh(SmallAnimated());
    const size_t block = 8 + kNameBytes + kPoseBytes + 2 * kShapeBytes;
    const size_t firstFrame = block + 8;
    struct Case {
        const char* what;
        size_t at;
        int32_t value;
        bool isFloat;
        float f;
    };
    const Case animatedCases[] = {
        {"huge frame count", block, 0x7FFFFFFF, false, 0},
        {"NaN frame time", block + 4, 0, true, kNaN},
        {"infinite frame time", block + 4, 0, true, kInf},
        {"frame vertex count past the data", firstFrame, 100000, false, 0},
        {"frame index past its vertices", firstFrame + 4 + 3 * 48 + 4, 3, false, 0},
        {"NaN bounding shape", 8 + kNameBytes + kPoseBytes + kShapeBytes + 4, 0, true, kNaN},
    };
    for (const Case& c : animatedCases) {
        std::vector<uint8_t> bytes = animated;
        if (c.isFloat) PutFloat(bytes, c.at, c.f);
        else if (std::string(c.what).find("index past") != std::string::npos)
            bytes[c.at] = static_cast<uint8_t>(c.value);
        else PutInt(bytes, c.at, c.value);
        AnimatedMesh out;
        std::string error;
        EXPECT_FALSE(ReadAnimatedMesh(bytes.data(), bytes.size(), out, error)) << c.what;
        EXPECT_TRUE(out.root.name.empty()) << c.what;
    }

    const std::vector<uint8_t> keys = WriteKeyFrames(SmallKeys());
    const size_t firstKey = 4 + 4 + 5 + 4; // count, name length, "Door\0", key count
    const Case keyCases[] = {
        {"huge object count", 0, 0x7FFFFFFF, false, 0}, {"negative name length", 4, -3, false, 0},
        {"name past the data", 4, 100000, false, 0},    {"huge key count", 4 + 4 + 5, 0x20000000, false, 0},
        {"NaN key time", firstKey, 0, true, kNaN},      {"infinite key matrix", firstKey + 4 + 20, 0, true, kInf},
    };
    for (const Case& c : keyCases) {
        std::vector<uint8_t> bytes = keys;
        if (c.isFloat) PutFloat(bytes, c.at, c.f);
        else PutInt(bytes, c.at, c.value);
        KeyFrames out;
        std::string error;
        EXPECT_FALSE(ReadKeyFrames(bytes.data(), bytes.size(), out, error)) << c.what;
        EXPECT_TRUE(out.objects.empty()) << c.what;
    }
}

TEST(MeshFile, KindFollowsTheLastThreeCharacters) {
    EXPECT_EQ(KindOfFile("car.p3d"), MeshKind::P3d);
    EXPECT_EQ(KindOfFile("CAR.P3D"), MeshKind::P3d);
    EXPECT_EQ(KindOfFile("carp3d"), MeshKind::P3d);
    EXPECT_EQ(KindOfFile("crate.msh"), MeshKind::Older);
    EXPECT_EQ(KindOfFile("3d"), MeshKind::Older);
}
