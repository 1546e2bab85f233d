#include "Race/PTrackLines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PTextReader.h"

namespace {

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool SamePoint(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

float SegmentAngle(const Vec3& start, const Vec3& end) {
    // The heading on the ground: a climb or a drop along the line does not turn it. A line that only
    // climbs has no ground length, which divides by 1 (a heading of pi / 2).
    const Vec3 d = end - start;
    const float ground = std::sqrt(d.x * d.x + d.y * d.y);
    const float h = std::acos(std::clamp(d.x / (ground != 0.0f ? ground : 1.0f), -1.0f, 1.0f));
    return d.y < 0.0f ? -h : h;
}

float CentreDistanceSquared(const CPTrackLine& line, const Vec3& p) {
    const float dx = line.centre.x - p.x, dy = line.centre.y - p.y;
    return dx * dx + dy * dy;
}

// One number filling the whole word, finite.
bool ReadNumber(const std::string& word, float& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    value = std::strtof(word.c_str(), &end);
    return end == word.c_str() + word.size() && std::isfinite(value);
}

uint64_t g_nextSerial = 1;

} // namespace

CPTrackLines::CPTrackLines() : serial_(g_nextSerial++) {}

bool CPTrackLines::Build(const std::vector<Vec3>& points) {
    records_.clear();
    current_ = nullptr;
    serial_ = g_nextSerial++; // the old records are gone
    std::vector<Vec3> kept;
    for (const Vec3& p : points) {
        if (!Finite(p)) return false;
        if (kept.empty() || !SamePoint(kept.back(), p)) kept.push_back(p);
    }
    while (kept.size() > 1 && SamePoint(kept.back(), kept.front())) kept.pop_back();
    std::vector<Vec3> distinct;
    for (const Vec3& p : kept)
        if (std::none_of(distinct.begin(), distinct.end(), [&](const Vec3& q) { return SamePoint(p, q); }))
            distinct.push_back(p);
    if (static_cast<int>(distinct.size()) < kMinPoints) return false;

    // Record 0 is the head (last point back to the first); record k + 1 is line k.
    const size_t n = kept.size();
    records_.resize(n);
    for (size_t k = 0; k < n; ++k) {
        CPTrackLine& line = records_[k];
        line.start = k == 0 ? kept[n - 1] : kept[k - 1];
        line.end = k == 0 ? kept[0] : kept[k];
        line.centre = (line.start + line.end) * 0.5f;
        line.angle = SegmentAngle(line.start, line.end);
        line.previous = &records_[(k + n - 1) % n];
        line.next = &records_[(k + 1) % n];
    }
    current_ = records_[0].next;
    return true;
}

bool CPTrackLines::Holds(const CPTrackLine* line) const {
    return !records_.empty() && line >= records_.data() && line < records_.data() + records_.size();
}

CPTrackLine* CPTrackLines::Step(CPTrackLine* from, int64_t n) {
    if (!Holds(from)) return from;
    const int64_t size = static_cast<int64_t>(records_.size());
    const int64_t index = from - records_.data();
    const int64_t moved = ((index + n % size) % size + size) % size;
    return &records_[static_cast<size_t>(moved)];
}

float CPTrackLines::FindClosestTrackLine(const Vec3& p, float& radius, int steps, CPTrackLine*& cursor, int) {
    if (records_.empty()) return 0.0f;
    // A cursor from another ring (or none) starts from the current line.
    CPTrackLine* q = Holds(cursor) ? cursor : current_;
    current_ = q;
    const float d = radius;
    const auto inSquare = [&](const Vec3& v) { return std::fabs(v.x - p.x) <= d && std::fabs(v.y - p.y) <= d; };
    enum State { Outside, Inside, Left };
    float best = d * 100.0f;
    State backward = Outside, forward = Outside;
    if (inSquare(q->start)) backward = Inside;
    if (inSquare(q->end)) forward = Inside;
    if ((backward == Inside || forward == Inside) && CentreDistanceSquared(*q, p) < best)
        best = CentreDistanceSquared(*q, p);
    CPTrackLine* candidate = q;

    // A line with an end in the square is examined; the walk one way stops at the first line
    // after that has none.
    const auto examine = [&](CPTrackLine* line, State& state) {
        if (state == Left) return;
        const bool touches = inSquare(line->end) || inSquare(line->start);
        if (state == Outside) {
            if (!touches) return;
            state = Inside;
        }
        if (!touches) {
            state = Left;
            return;
        }
        const float distance = CentreDistanceSquared(*line, p);
        if (distance < best) {
            best = distance;
            candidate = line;
        }
    };
    for (CPTrackLine *b = q->previous, *f = q->next; !(backward == Left && forward == Left) && b != f;
         b = b->previous, f = f->next) {
        examine(b, backward);
        examine(f, forward);
    }

    current_ = candidate;
    cursor = candidate;
    const CPTrackLine* line = candidate;
    for (int i = 0; i < steps; ++i) line = line->previous;
    const Vec3& a = line->start;
    const Vec3& e = line->end;
    // A line whose ends differ only in height has no direction on the ground: its distance is 0.
    const float planar = std::sqrt((e.x - a.x) * (e.x - a.x) + (e.y - a.y) * (e.y - a.y));
    radius = ((a.x - e.x) * p.y + (e.y - a.y) * p.x - (a.x * e.y - e.x * a.y)) / (planar != 0.0f ? planar : 1.0f);
    return line->angle;
}

bool ReadTrackLinesText(const std::string& text, TrackLinesFile& file, const std::string& source) {
    file.rings.clear();
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    int ringsSeen = 0;
    bool ignoring = false;
    for (std::string line; reader.GetLine(line);) {
        std::istringstream split(line);
        std::vector<std::string> words;
        for (std::string w; split >> w;) words.push_back(w);
        if (words.empty()) continue;
        if (words.size() == 1 && words[0] == "ring") {
            ++ringsSeen;
            ignoring = ringsSeen > TrackLinesFile::kMaxRings;
            if (ignoring)
                GetLog().Write(0, "%s: ring %d ignored (a level has %d)\n", source.c_str(), ringsSeen,
                               TrackLinesFile::kMaxRings);
            else file.rings.emplace_back();
            continue;
        }
        if (ignoring) continue;
        Vec3 p;
        if (words.size() != 3 || !ReadNumber(words[0], p.x) || !ReadNumber(words[1], p.y) ||
            !ReadNumber(words[2], p.z)) {
            GetLog().Write(0, "%s: line %d \"%s\" is not a point: skipped\n", source.c_str(), reader.GetLineCount(),
                           line.c_str());
            continue;
        }
        if (file.rings.empty()) {
            ringsSeen = 1;
            file.rings.emplace_back();
        }
        file.rings.back().push_back(p);
    }
    return !file.rings.empty();
}

std::string WriteTrackLinesText(const TrackLinesFile& file) {
    std::string text;
    char buffer[128];
    for (const auto& ring : file.rings) {
        text += "ring\n";
        for (const Vec3& p : ring) {
            std::snprintf(buffer, sizeof(buffer), "%.9g %.9g %.9g\n", p.x, p.y, p.z);
            text += buffer;
        }
    }
    return text;
}

bool WriteTrackLinesFile(const std::string& path, const TrackLinesFile& file) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const std::string text = WriteTrackLinesText(file);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && written;
}

void LoadLevelTrackLines(const std::string& name, CPRefPtr<CPTrackLines> (&sets)[TrackLinesFile::kMaxRings]) {
    for (auto& set : sets) set = nullptr;
    CPFileReader reader("Data\\Levels\\" + name + ".trk");
    if (FAILED(reader.Load())) return;
    const std::string text(reinterpret_cast<const char*>(reader.GetData()), static_cast<size_t>(reader.GetLength()));
    TrackLinesFile file;
    if (!ReadTrackLinesText(text, file, reader.GetPath())) {
        GetLog().Write(0, "%s holds no ring\n", reader.GetPath().c_str());
        return;
    }
    for (size_t i = 0; i < file.rings.size(); ++i) {
        CPRefPtr<CPTrackLines> lines(new CPTrackLines);
        if (lines->Build(file.rings[i])) sets[i] = lines;
        else
            GetLog().Write(0, "%s: ring %d has fewer than %d distinct points: no track lines\n",
                           reader.GetPath().c_str(), static_cast<int>(i + 1), CPTrackLines::kMinPoints);
    }
}
