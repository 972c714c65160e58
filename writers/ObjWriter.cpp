#include <new>
#include <string>
#include <vector>

#include "ReadAhead.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// Normals are written for the vertices that have one, from the first vertex
// up to the first without one, so that normal k always belongs to vertex k
// and a face may name k//k only while k lies in that run.
int LeadingNormalCount(const CModel& model)
{
    int count = 0;
    while (count < model.GetVertexCount() && model.m_vertexNormals.GetAt(count))
        ++count;
    return count;
}

// Every corner names a stored vertex. A face with a corner that does not is
// left out: any number written in its place would point at another vertex.
bool AllCornersResolve(const CPolygon& polygon)
{
    if (polygon.count < 3 || polygon.count > 4)
        return false;
    for (int i = 0; i < polygon.count; ++i)
        if (!polygon.GetVertex(i))
            return false;
    return true;
}

void WriteFace(numberformat::CRecordOut& line, const CPolygon& polygon, bool smooth, int normalCount)
{
    for (int i = 0; i < polygon.count && smooth; ++i)
        smooth = polygon.index[i] <= normalCount;
    // "f ", then "%ld//%ld " or "%ld " per corner, then "\n".
    line.Text("f ");
    for (int i = 0; i < polygon.count; ++i) {
        const long number = polygon.index[i];
        if (smooth)
            line.Long(number).Text("//");
        line.Long(number).Text(" ");
    }
    line.Text("\n");
}

// "<keyword> %6.5f %6.5f %6.5f\n". The width 6 never pads: five decimals
// and the point alone make six characters, the digit before the point a
// seventh.
template <size_t N>
void Coordinates(numberformat::CRecordOut& line, const char (&keyword)[N], double x, double y, double z)
{
    line.Text(keyword).Fixed(x, 5).Text(" ").Fixed(y, 5).Text(" ").Fixed(z, 5).Text("\n");
}

// "v %6.5f %6.5f %6.5f\n" for vertices [first, last), scaled.
void FormatVertices(numberformat::CRecordOut& out, const CModel& model, double s, int first, int last)
{
    for (int i = first; i < last; ++i) {
        // A vertex slot is never empty; the origin would stand in for one so
        // that the numbering below stays the model's.
        const CVector* v = model.m_vertices.GetAt(i);
        const CVector origin;
        if (!v)
            v = &origin;
        Coordinates(out, "v ", v->x * s, v->y * s, v->z * s);
    }
}

// The lines are written in runs: all vertices, then all normals, then each
// written group's faces. On a large model every second run is formatted
// ahead on another thread while this one formats the others straight into
// the stream, and writes each run of the other thread's in its turn.
enum class CSection : uint8_t { kVertices, kNormals, kFaces };

struct CRun
{
    CSection section;
    bool opens;  // the first run of its section or group
    int group;   // for faces
    int first;   // lines [first, last) of the section or group
    int last;
};

struct CRunText
{
    std::string text;
    // Every run is handed over, even one without lines, so that the runs
    // keep their turns.
    bool Empty() const { return false; }
};

constexpr int kRunLines = 1024;
// Below this many lines in all a second thread costs more than it saves.
constexpr long kLinesForTwo = 1 << 16;

class CObjLines
{
public:
    CObjLines(CModel& model, double scale) : m_model(model), m_scale(scale), m_normalCount(LeadingNormalCount(model)) {}

    // May throw std::bad_alloc.
    void PlanRuns()
    {
        auto add = [&](CSection section, int group, int count) {
            m_runs.push_back({section, true, group, 0, count < kRunLines ? count : kRunLines});
            for (int first = kRunLines; first < count; first += kRunLines)
                m_runs.push_back({section, false, group, first, count - first < kRunLines ? count : first + kRunLines});
        };
        add(CSection::kVertices, 0, m_model.GetVertexCount());
        add(CSection::kNormals, 0, m_normalCount);
        for (int g = 0; g < m_model.GetGroupCount(); ++g) {
            const CGroup* group = m_model.GetGroup(g);
            if (group && group->active)
                add(CSection::kFaces, g, group->polygons.GetCount());
        }
    }

    long LineCount() const
    {
        long lines = 0;
        for (const CRun& run : m_runs)
            lines += run.last - run.first;
        return lines;
    }

    const std::vector<CRun>& Runs() const { return m_runs; }

    void Format(numberformat::CRecordOut& out, const CRun& run) const
    {
        const double s = m_scale;
        switch (run.section) {
        case CSection::kVertices:
            FormatVertices(out, m_model, s, run.first, run.last);
            break;
        case CSection::kNormals:
            for (int i = run.first; i < run.last; ++i) {
                const CVector* n = m_model.m_vertexNormals.GetAt(i);
                Coordinates(out, "vn ", n->x, n->y, n->z);
            }
            break;
        case CSection::kFaces: {
            const CGroup* group = m_model.GetGroup(run.group);
            for (int p = run.first; p < run.last; ++p) {
                const CPolygon* polygon = group->polygons.GetAt(p);
                if (polygon && AllCornersResolve(*polygon))
                    WriteFace(out, *polygon, group->smooth, m_normalCount);
            }
            break;
        }
        }
    }

private:
    CModel& m_model;
    const double m_scale;
    const int m_normalCount;
    std::vector<CRun> m_runs;
};

// The whole file, or all but the vertex lines where they were written.
bool WriteAll(CModel& model, FILE* fp, double s, bool verticesWritten)
{
    CObjLines lines(model, s);
    lines.PlanRuns();
    const std::vector<CRun>& runs = lines.Runs();
    const bool two = lines.LineCount() >= kLinesForTwo;
    size_t start = 0;
    while (verticesWritten && start < runs.size() && runs[start].section == CSection::kVertices)
        ++start;
    size_t next = start + 1;  // the other thread's next run
    CReadAhead<CRunText> ahead([&](CRunText& run) {
        run.text.clear();
        numberformat::CRecordOut out(run.text);
        lines.Format(out, runs[next]);
        out.Write();
        next += 2;
        return next < runs.size();
    });

    // Records gather in one buffer that reaches the stream in large pieces;
    // it is handed over before anything else writes to the stream.
    numberformat::CRecordOut out(fp);
    bool polygonsAnnounced = false;
    auto announcePolygons = [&] {
        if (polygonsAnnounced)
            return true;
        polygonsAnnounced = true;
        if (!out.Write())
            return false;
        model.StatusMessage("Saving Polygons");
        return true;
    };
    for (size_t r = start; r < runs.size(); ++r) {
        const CRun& run = runs[r];
        if (run.opens && run.section == CSection::kNormals) {
            if (!out.Write())
                return false;
            model.StatusMessage("Saving Normals");
            std::fputs("\n\n", fp);
        } else if (run.opens && run.section == CSection::kFaces) {
            if (!announcePolygons() || !out.Write() ||
                !PrintChecked(fp, "g %s\n", model.GetGroup(run.group)->name.c_str()))
                return false;
        }
        if (two && (r - start) % 2 == 1) {
            if (const CRunText* text = ahead.Next())
                out.Text(text->text.data(), text->text.size());
        } else {
            lines.Format(out, run);
        }
    }
    return announcePolygons() && out.Write();
}

int Save(CModel& model, FILE* fp, double scale, bool verticesWritten)
{
    model.StatusMessage("Saving Vertices");
    CWaitCursor wait(model);
    bool written;
    try {
        written = WriteAll(model, fp, scale, verticesWritten);
    } catch (const std::bad_alloc&) {
        model.ErrorMessage("Out of Memory");
        return 0;
    }
    return FinishWrite(model, fp, written);
}

}  // namespace

int WriteObj(CModel& model, FILE* fp, double scale)
{
    return Save(model, fp, scale, false);
}

bool WriteObjVertices(const CModel& model, FILE* fp, double scale)
{
    numberformat::CRecordOut out(fp);
    FormatVertices(out, model, scale, 0, model.GetVertexCount());
    return out.Write();
}

int WriteObjAfterVertices(CModel& model, FILE* fp, double scale)
{
    return Save(model, fp, scale, true);
}
