#pragma once
// Track lines: a ring of short segments laid along the road, closed by a head record of the same
// layout, with the search that finds the segment nearest a point and the point's signed offset
// from it. A level holds up to three rings, read from "Data\Levels\<name>.trk":
//
//   ring            opens a ring (the level's first, second, third set in order)
//   x y z           one point along the track
//
// Line k runs from point k to point k + 1; the segment from the last point back to the first
// closes the ring and is the head record. The reader and the writer of that text live here side
// by side.
#include <cstdint>
#include <string>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PManagedObject.h"

struct CPTrackLine {
    Vec3 start;
    Vec3 end;
    Vec3 centre;
    float angle = 0.0f; // the segment's heading: acos of its unit x, negated for negative y
    CPTrackLine* previous = nullptr;
    CPTrackLine* next = nullptr;
};

class CPTrackLines : public CPManagedObject {
public:
    // Fewest distinct points a ring takes.
    static constexpr int kMinPoints = 3;

    CPTrackLines();
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPTrackLines"; }
    // New for every set and every Build in the run, so a raw cursor kept elsewhere can tell it is
    // stale.
    uint64_t GetSerial() const { return serial_; }

    // Lays the ring over the points, dropping a point equal to the one before it (the first
    // counts as following the last). False, leaving the ring empty, for fewer than three distinct
    // points or a non-finite coordinate.
    bool Build(const std::vector<Vec3>& points);

    // The nearest line to the point within the square of half-size radius around it, walking out
    // from the cursor both ways. The cursor and the current line become the found line; the result
    // is the angle of the line `steps` back from it, and radius receives the point's signed
    // distance from that line. The last argument has no effect.
    float FindClosestTrackLine(const Vec3& point, float& radius, int steps, CPTrackLine*& cursor, int unused = 0);

    CPTrackLine* GetHead() { return records_.empty() ? nullptr : &records_[0]; }
    CPTrackLine* GetCurrentLine() const { return current_; }
    // The lines without the head.
    int GetLineCount() const { return records_.empty() ? 0 : static_cast<int>(records_.size()) - 1; }
    // The record reached from `from` by n steps along next (n > 0) or previous (n < 0) links; the
    // walk goes round the ring as many times as it takes, head included, in a constant number of
    // moves.
    CPTrackLine* Step(CPTrackLine* from, int64_t n);
    // True when the record belongs to this ring.
    bool Holds(const CPTrackLine* line) const;

private:
    std::vector<CPTrackLine> records_; // [0] is the head; never resized after Build
    CPTrackLine* current_ = nullptr;
    uint64_t serial_;
};

// The text form of a ".trk" file: up to three rings of points.
struct TrackLinesFile {
    static constexpr int kMaxRings = 3;
    std::vector<std::vector<Vec3>> rings;
};

// Reads the text. Point lines that are not three finite numbers are skipped, and rings past the
// third ignored, each with a log line naming `source`; a point before any "ring" line opens the
// first. False when the text holds no ring at all.
bool ReadTrackLinesText(const std::string& text, TrackLinesFile& file, const std::string& source = ".trk");
// The text the reader reads back to the same points.
std::string WriteTrackLinesText(const TrackLinesFile& file);
// Writes the text to a file; false when it cannot be written.
bool WriteTrackLinesFile(const std::string& path, const TrackLinesFile& file);

// Reads "Data\Levels\<name>.trk" into up to three track-line sets; a missing file leaves them all
// null, and a ring that cannot be built leaves its slot null (logged).
void LoadLevelTrackLines(const std::string& name, CPRefPtr<CPTrackLines> (&sets)[TrackLinesFile::kMaxRings]);
