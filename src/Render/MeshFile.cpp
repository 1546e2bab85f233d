#include "Render/MeshFile.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "Core/PLog.h"

namespace MeshFile {

namespace {

// Smallest sizes of the variable records, so that a count can be refused before anything is
// allocated for it.
constexpr size_t kOlderNodeMin = 4 + kNameBytes + 4 + 4 + 4 + 4;
constexpr size_t kP3dNodeMin = 4 + kNameBytes + kPoseBytes + kShapeBytes + 4 + 4 + 4 + 4;
constexpr size_t kFrameMin = 4 + 4;
constexpr size_t kAnimatedNodeMin = kNameBytes + kPoseBytes + 2 * kShapeBytes + 4 + 4 + 4 + 4;
constexpr size_t kTrailerEntryMin = 4 + 48;
constexpr size_t kKeyObjectMin = 4 + 4;

bool Finite(float v) { return std::isfinite(v); }
bool Finite(const Vec3& v) { return Finite(v.x) && Finite(v.y) && Finite(v.z); }
bool Finite(const Quat& q) { return Finite(q.x) && Finite(q.y) && Finite(q.z) && Finite(q.w); }

// A bounded cursor over the file: the first failure is kept and every later read fails too.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    size_t Remaining() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ >= size_; }

    bool Fail(const std::string& reason) {
        if (error_.empty()) error_ = reason + " at byte " + std::to_string(pos_);
        return false;
    }

    bool Bytes(void* out, size_t n, const char* what) {
        if (Failed()) return false;
        if (n > Remaining()) return Fail(std::string("file ends inside ") + what);
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    bool Int(int32_t& v, const char* what) {
        uint8_t b[4] = {};
        if (!Bytes(b, 4, what)) return false;
        v = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                 static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
        return true;
    }
    bool Float(float& v, const char* what) {
        int32_t bits;
        if (!Int(bits, what)) return false;
        std::memcpy(&v, &bits, 4);
        return true;
    }
    bool Vector(Vec3& v, const char* what) { return Float(v.x, what) && Float(v.y, what) && Float(v.z, what); }
    bool Quaternion(Quat& q, const char* what) {
        return Float(q.x, what) && Float(q.y, what) && Float(q.z, what) && Float(q.w, what);
    }

    // A count that reads nothing when it is 0 or below and must leave room for `count` records of
    // at least `recordBytes` each.
    bool Count(int32_t& count, size_t recordBytes, const char* what) {
        if (!Int(count, what)) return false;
        if (count <= 0) {
            count = 0;
            return true;
        }
        if (static_cast<size_t>(count) > Remaining() / recordBytes)
            return Fail(std::string(what) + " " + std::to_string(count) + " runs past the data");
        return true;
    }

    bool Name260(std::string& name) {
        char raw[kNameBytes];
        if (!Bytes(raw, kNameBytes, "a name")) return false;
        const void* zero = std::memchr(raw, 0, kNameBytes);
        if (zero == nullptr) return Fail("name without a zero byte");
        name.assign(raw, static_cast<size_t>(static_cast<const char*>(zero) - raw));
        return true;
    }

    bool String(std::string& text) {
        int32_t length;
        if (!Int(length, "a string length")) return false;
        if (length < 0) return Fail("negative string length");
        if (static_cast<size_t>(length) > Remaining()) return Fail("string runs past the data");
        const char* start = reinterpret_cast<const char*>(data_ + pos_);
        text.assign(start, strnlen(start, static_cast<size_t>(length)));
        pos_ += static_cast<size_t>(length);
        return true;
    }

    bool ShapeRecord(Shape& s) {
        if (!Int(s.kind, "a shape") || !Float(s.a, "a shape") || !Float(s.b, "a shape") || !Float(s.c, "a shape") ||
            !Vector(s.position, "a shape") || !Quaternion(s.rotation, "a shape") || !Float(s.d, "a shape") ||
            !Float(s.mass, "a shape"))
            return false;
        if (!Finite(s.a) || !Finite(s.b) || !Finite(s.c) || !Finite(s.position) || !Finite(s.rotation) ||
            !Finite(s.d) || !Finite(s.mass))
            return Fail("shape with a value that is not finite");
        return true;
    }

    bool PoseBlock(Pose& p) {
        if (!Vector(p.position, "a pose") || !Quaternion(p.rotation, "a pose")) return false;
        if (!Finite(p.position) || !Finite(p.rotation)) return Fail("pose with a value that is not finite");
        return true;
    }

    bool Vertices(std::vector<CPVertex>& out) {
        int32_t count;
        if (!Count(count, sizeof(CPVertex), "vertex count")) return false;
        out.resize(static_cast<size_t>(count));
        if (count > 0 && !Bytes(out.data(), out.size() * sizeof(CPVertex), "vertices")) return false;
        for (const CPVertex& v : out)
            if (!Finite(v.position)) return Fail("vertex position that is not finite");
        return true;
    }

    bool Indices(std::vector<CPIndex>& out, size_t vertexCount) {
        int32_t count;
        if (!Count(count, sizeof(CPIndex), "index count")) return false;
        out.resize(static_cast<size_t>(count));
        for (CPIndex& index : out) {
            uint8_t b[2];
            if (!Bytes(b, 2, "indices")) return false;
            index = static_cast<CPIndex>(b[0] | b[1] << 8);
            if (index >= vertexCount) return Fail("index " + std::to_string(index) + " past the vertex count");
        }
        return true;
    }

    bool Shapes(std::vector<Shape>& out) {
        int32_t count;
        if (!Count(count, kShapeBytes, "shape count")) return false;
        out.resize(static_cast<size_t>(count));
        for (Shape& s : out)
            if (!ShapeRecord(s)) return false;
        return true;
    }

    bool MeshNode(Node& node, MeshKind kind, int depth) {
        if (depth > kMaxDepth) return Fail("nodes nested too deep");
        if (!Int(node.unused, "a node") || !Name260(node.name)) return false;
        if (kind == MeshKind::P3d && (!PoseBlock(node.pose) || !ShapeRecord(node.body))) return false;
        if (!Vertices(node.vertices) || !Indices(node.indices, node.vertices.size())) return false;
        if (kind == MeshKind::P3d) {
            if (!Shapes(node.shapes)) return false;
        } else {
            int32_t count;
            if (!Count(count, kCollisionBytes, "collision box count")) return false;
            node.boxes.resize(static_cast<size_t>(count));
            for (CollisionRecord& box : node.boxes) {
                if (!Bytes(box.bytes, kCollisionBytes, "a collision box")) return false;
                if (!Finite(box.Centre()) || !Finite(box.HalfExtents()))
                    return Fail("collision box with a value that is not finite");
            }
        }
        int32_t children;
        if (!Count(children, kind == MeshKind::P3d ? kP3dNodeMin : kOlderNodeMin, "child count")) return false;
        node.children.resize(static_cast<size_t>(children));
        for (Node& child : node.children)
            if (!MeshNode(child, kind, depth + 1)) return false;
        return true;
    }

    bool Animation(VertexAnimation& animation) {
        int32_t frames;
        if (!Count(frames, kFrameMin, "frame count") || !Float(animation.frameTime, "a frame time")) return false;
        if (!Finite(animation.frameTime)) return Fail("frame time that is not finite");
        animation.frames.resize(static_cast<size_t>(frames));
        for (Frame& frame : animation.frames)
            if (!Vertices(frame.vertices) || !Indices(frame.indices, frame.vertices.size())) return false;
        return true;
    }

    bool AnimatedNodeRecord(AnimatedNode& node, int depth) {
        if (depth > kMaxDepth) return Fail("nodes nested too deep");
        if (!Name260(node.name) || !PoseBlock(node.pose) || !ShapeRecord(node.body) || !ShapeRecord(node.bounds) ||
            !Animation(node.animation) || !Shapes(node.shapes))
            return false;
        int32_t children;
        if (!Count(children, kAnimatedNodeMin, "child count")) return false;
        node.children.resize(static_cast<size_t>(children));
        for (AnimatedNode& child : node.children)
            if (!AnimatedNodeRecord(child, depth + 1)) return false;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::string error_;
};

class Writer {
public:
    std::vector<uint8_t> bytes;

    void Int(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
    void Float(float v) {
        int32_t bits;
        std::memcpy(&bits, &v, 4);
        Int(bits);
    }
    void Raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void Vector(const Vec3& v) {
        Float(v.x);
        Float(v.y);
        Float(v.z);
    }
    void Quaternion(const Quat& q) {
        Float(q.x);
        Float(q.y);
        Float(q.z);
        Float(q.w);
    }
    void Name260(const std::string& name) {
        char raw[kNameBytes] = {};
        std::memcpy(raw, name.data(), name.size() < kNameBytes - 1 ? name.size() : kNameBytes - 1);
        Raw(raw, kNameBytes);
    }
    // The text and its zero byte.
    void String(const std::string& text) {
        Int(static_cast<int32_t>(text.size() + 1));
        Raw(text.c_str(), text.size() + 1);
    }
    void ShapeRecord(const Shape& s) {
        Int(s.kind);
        Float(s.a);
        Float(s.b);
        Float(s.c);
        Vector(s.position);
        Quaternion(s.rotation);
        Float(s.d);
        Float(s.mass);
    }
    void PoseBlock(const Pose& p) {
        Vector(p.position);
        Quaternion(p.rotation);
    }
    void Vertices(const std::vector<CPVertex>& v) {
        Int(static_cast<int32_t>(v.size()));
        Raw(v.data(), v.size() * sizeof(CPVertex));
    }
    void Indices(const std::vector<CPIndex>& indices) {
        Int(static_cast<int32_t>(indices.size()));
        for (CPIndex i : indices) {
            bytes.push_back(static_cast<uint8_t>(i & 0xFF));
            bytes.push_back(static_cast<uint8_t>(i >> 8));
        }
    }
    void Shapes(const std::vector<Shape>& shapes) {
        Int(static_cast<int32_t>(shapes.size()));
        for (const Shape& s : shapes) ShapeRecord(s);
    }
    void MeshNode(const Node& node, MeshKind kind) {
        Int(node.unused);
        Name260(node.name);
        if (kind == MeshKind::P3d) {
            PoseBlock(node.pose);
            ShapeRecord(node.body);
        }
        Vertices(node.vertices);
        Indices(node.indices);
        if (kind == MeshKind::P3d) {
            Shapes(node.shapes);
        } else {
            Int(static_cast<int32_t>(node.boxes.size()));
            for (const CollisionRecord& box : node.boxes) Raw(box.bytes, kCollisionBytes);
        }
        Int(static_cast<int32_t>(node.children.size()));
        for (const Node& child : node.children) MeshNode(child, kind);
    }
    void AnimatedNodeRecord(const AnimatedNode& node) {
        Name260(node.name);
        PoseBlock(node.pose);
        ShapeRecord(node.body);
        ShapeRecord(node.bounds);
        Int(static_cast<int32_t>(node.animation.frames.size()));
        Float(node.animation.frameTime);
        for (const Frame& frame : node.animation.frames) {
            Vertices(frame.vertices);
            Indices(frame.indices);
        }
        Shapes(node.shapes);
        Int(static_cast<int32_t>(node.children.size()));
        for (const AnimatedNode& child : node.children) AnimatedNodeRecord(child);
    }
};

} // namespace

CollisionRecord CollisionRecord::Make(const Vec3& centre, const Vec3& halfExtents) {
    CollisionRecord record;
    std::memcpy(record.bytes, &centre, sizeof(Vec3));
    std::memcpy(record.bytes + 16, &halfExtents, sizeof(Vec3));
    return record;
}

Vec3 CollisionRecord::Centre() const {
    Vec3 v;
    std::memcpy(&v, bytes, sizeof(Vec3));
    return v;
}

Vec3 CollisionRecord::HalfExtents() const {
    Vec3 v;
    std::memcpy(&v, bytes + 16, sizeof(Vec3));
    return v;
}

bool ReadMesh(const uint8_t* data, size_t size, MeshKind kind, Mesh& out, std::string& error) {
    Cursor in(data, size);
    Mesh mesh;
    int32_t count = 0;
    if (in.Int(mesh.header, "the header") &&
        in.Count(count, kind == MeshKind::P3d ? kP3dNodeMin : kOlderNodeMin, "node count")) {
        mesh.nodes.resize(static_cast<size_t>(count));
        for (Node& node : mesh.nodes)
            if (!in.MeshNode(node, kind, 1)) break;
    }
    if (!in.Failed() && !in.AtEnd()) {
        mesh.hasTrailer = true;
        int32_t entries = 0;
        if (in.Count(entries, kTrailerEntryMin, "trailer count")) {
            mesh.trailer.resize(static_cast<size_t>(entries));
            for (TrailerEntry& entry : mesh.trailer) {
                if (!in.String(entry.name)) break;
                for (float& m : entry.matrix) in.Float(m, "a trailer matrix");
            }
        }
        // Nothing in the trailer changes the objects: a damaged one costs only itself.
        if (in.Failed()) {
            GetLog().Write(1, "mesh: the trailer is ignored: %s", in.Error().c_str());
            mesh.hasTrailer = false;
            mesh.trailer.clear();
            out = std::move(mesh);
            return true;
        }
    }
    if (in.Failed()) {
        error = in.Error();
        return false;
    }
    out = std::move(mesh);
    return true;
}

bool ReadAnimatedMesh(const uint8_t* data, size_t size, AnimatedMesh& out, std::string& error) {
    Cursor in(data, size);
    AnimatedMesh mesh;
    if (in.Int(mesh.header[0], "the header") && in.Int(mesh.header[1], "the header"))
        in.AnimatedNodeRecord(mesh.root, 1);
    if (in.Failed()) {
        error = in.Error();
        return false;
    }
    out = std::move(mesh);
    return true;
}

bool ReadKeyFrames(const uint8_t* data, size_t size, KeyFrames& out, std::string& error) {
    Cursor in(data, size);
    KeyFrames keys;
    int32_t count = 0;
    if (in.Count(count, kKeyObjectMin, "object count")) {
        keys.objects.resize(static_cast<size_t>(count));
        for (KeyObject& object : keys.objects) {
            int32_t keyCount = 0;
            if (!in.String(object.name) || !in.Count(keyCount, kKeyBytes, "key count")) break;
            object.keys.resize(static_cast<size_t>(keyCount));
            for (Key& key : object.keys) {
                in.Float(key.time, "a key");
                for (float& m : key.matrix) in.Float(m, "a key");
                if (in.Failed()) break;
                bool finite = Finite(key.time);
                for (float m : key.matrix) finite = finite && Finite(m);
                if (!finite) {
                    in.Fail("key with a value that is not finite");
                    break;
                }
            }
            if (in.Failed()) break;
        }
    }
    if (in.Failed()) {
        error = in.Error();
        return false;
    }
    out = std::move(keys);
    return true;
}

std::vector<uint8_t> WriteMesh(const Mesh& mesh, MeshKind kind) {
    Writer w;
    w.Int(mesh.header);
    w.Int(static_cast<int32_t>(mesh.nodes.size()));
    for (const Node& node : mesh.nodes) w.MeshNode(node, kind);
    if (mesh.hasTrailer) {
        w.Int(static_cast<int32_t>(mesh.trailer.size()));
        for (const TrailerEntry& entry : mesh.trailer) {
            w.String(entry.name);
            for (float m : entry.matrix) w.Float(m);
        }
    }
    return std::move(w.bytes);
}

std::vector<uint8_t> WriteAnimatedMesh(const AnimatedMesh& mesh) {
    Writer w;
    w.Int(mesh.header[0]);
    w.Int(mesh.header[1]);
    w.AnimatedNodeRecord(mesh.root);
    return std::move(w.bytes);
}

std::vector<uint8_t> WriteKeyFrames(const KeyFrames& keys) {
    Writer w;
    w.Int(static_cast<int32_t>(keys.objects.size()));
    for (const KeyObject& object : keys.objects) {
        w.String(object.name);
        w.Int(static_cast<int32_t>(object.keys.size()));
        for (const Key& key : object.keys) {
            w.Float(key.time);
            for (float m : key.matrix) w.Float(m);
        }
    }
    return std::move(w.bytes);
}

MeshKind KindOfFile(const std::string& name) {
    if (name.size() < 3) return MeshKind::Older;
    std::string tail = name.substr(name.size() - 3);
    for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return tail == "p3d" ? MeshKind::P3d : MeshKind::Older;
}

} // namespace MeshFile
