#include <vector>

#include "PolygonSplit.h"
#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

namespace {

class CNffReader
{
public:
    CNffReader(CModel& model, FILE* fp) : m_model(model), m_in(fp) {}

    int Read()
    {
        int result = readerframe::ReadMerging(m_model, [this] {
            Parse();
            // What was read stays, but the user learns that the file held more.
            if (!m_atEnd && !m_model.OutOfMemory())
                m_model.WarningMessage("Reading stopped at line %ld: the item there could not be read", m_itemLine);
        });
        // Said after the load so that it is the status text that stays.
        if (result > 0 && m_spheres + m_cones > 0)
            m_model.NoticeMessage("Skipped %ld sphere%s and %ld cone%s: only polygons are read", m_spheres,
                                  m_spheres == 1 ? "" : "s", m_cones, m_cones == 1 ? "" : "s");
        return result;
    }

private:
    // Items are read until one cannot be; what came before it stays.
    void Parse()
    {
        while (!m_model.OutOfMemory()) {
            m_itemLine = m_in.Line();
            int c = m_in.Get();
            switch (c) {
            case EOF:
                m_atEnd = true;
                return;
            case '#':
                m_in.SkipLine();
                break;
            case '\n':
                break;
            case 'v':
                if (!ReadViewpoint())
                    return;
                break;
            case 'l':  // light
            case 'b':  // background
                if (!ReadNumbers(3))
                    return;
                break;
            case 'f':
                if (!ReadNumbers(8))
                    return;
                m_model.SetGroup(nullptr, NearestColor(m_numbers[0], m_numbers[1], m_numbers[2]), 0);
                break;
            case 'c':  // cone: base and apex
                if (!ReadNumbers(4) || !ReadNumbers(4))
                    return;
                ++m_cones;
                break;
            case 's':
                if (!ReadNumbers(4))
                    return;
                ++m_spheres;
                break;
            case 'p':
                if (!ReadPolygon(m_in.Get() == 'p'))
                    return;
                break;
            default:
                m_in.SkipLine();
                break;
            }
        }
    }

    void CountRead()
    {
        if (++m_reads % 100 == 0)
            m_model.StatusMessage("Reading Line# %ld", m_reads);
    }

    // One formatted read of `count` numbers and the white space after them.
    bool ReadNumbers(int count)
    {
        CountRead();
        for (int i = 0; i < count; ++i)
            if (!m_in.ReadFloat(m_numbers[i]))
                return false;
        m_in.SkipSpace();
        return true;
    }

    bool ReadLabelled(const char* label, int count)
    {
        m_in.SkipSpace();
        if (!m_in.Match(label))
            return false;
        return ReadNumbers(count);
    }

    // The viewpoint is read whole, in its fixed order, and then discarded.
    bool ReadViewpoint()
    {
        if (!ReadLabelled("from", 3) || !ReadLabelled("at", 3) || !ReadLabelled("up", 3) ||
            !ReadLabelled("angle", 1) || !ReadLabelled("hither", 1))
            return false;
        m_in.SkipSpace();
        CountRead();
        long width = 0, height = 0;
        if (!m_in.Match("resolution") || !m_in.ReadLong(width) || !m_in.ReadLong(height))
            return false;
        m_in.SkipSpace();
        return true;
    }

    // A polygon, or with `patch` a polygonal patch whose corner normals are
    // read and dropped; a patch makes its group smooth.
    bool ReadPolygon(bool patch)
    {
        CountRead();
        long count = 0;
        if (!m_in.ReadLong(count))
            return false;
        m_in.SkipSpace();
        if (count <= 0)
            return false;
        // Corners are collected as they are read, never reserved from the
        // count, which may be far larger than what the file holds.
        m_corners.clear();
        for (long k = 0; k < count; ++k) {
            if (!ReadNumbers(patch ? 6 : 3))
                return false;
            int index = m_model.AddVertex(CVector(m_numbers[0], m_numbers[1], m_numbers[2]), true);
            if (index < 0)
                return false;  // out of memory: the read fails
            m_corners.push_back(index + 1);
        }
        polygonsplit::AddPolygon(m_model, m_corners, &m_splitBudget);
        if (patch)
            m_model.SmoothCurrentGroup();
        return true;
    }

    CModel& m_model;
    textinput::CTextStream m_in;
    std::vector<int32_t> m_corners;
    polygonsplit::CSplitBudget m_splitBudget;  // ear clipping for the whole file
    float m_numbers[8] = {};
    long m_reads = 1;
    long m_itemLine = 1;
    bool m_atEnd = false;
    long m_spheres = 0;
    long m_cones = 0;
};

}  // namespace

int ReadNff(CModel& model, FILE* fp)
{
    CNffReader reader(model, fp);
    return reader.Read();
}
