#include <new>
#include <string>
#include <vector>

#include "PolygonSplit.h"
#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

using textinput::ToInt;

namespace {

constexpr long kMinCorners = 3;
constexpr long kMaxCorners = 8;

class CAoffReader
{
public:
    CAoffReader(CModel& model, FILE* fp) : m_model(model), m_in(fp) {}

    int Read()
    {
        readerframe::BeginRead(m_model);
        try {
            if (!m_in.ReadLine(m_text)) {
                m_model.Clear(true);
                m_model.ErrorMessage("Premature EOF on line 1");
                m_model.EndWait();
                return 0;
            }
            readerframe::WarnIfCut(m_model, m_in, 1);
            // Counts missing from the header count as zero.
            textinput::CLineScanner header(m_text.c_str());
            long points = 0, polygons = 0, ignored = 0;
            if (header.ReadLong(points) && header.ReadLong(polygons))
                header.ReadLong(ignored);
            if (!ReadPoints(points) || !ReadPolygons(polygons))
                return Fail();
        } catch (const std::bad_alloc&) {
            m_model.ErrorMessage("Out of Memory\n");
            return Fail();
        } catch (const CReadError&) {
            readerframe::ReadErrorMessage(m_model, "AOFF");
            return Fail();
        }
        m_model.EndWait();
        m_model.FinishLoad();
        return 1;
    }

private:
    // Points are numbered in file order, coincident ones too, because the
    // polygons refer to them by that number.
    bool ReadPoints(long points)
    {
        for (long read = 0; read < points; ++read) {
            ++m_line;
            if (!m_in.ReadLine(m_text)) {
                m_model.ErrorMessage("Premature EOF line# %ld, expecting %ld points, got %ld", m_line, points, read);
                return false;
            }
            readerframe::WarnIfCut(m_model, m_in, m_line);
            if (m_line % 100 == 0)
                m_model.StatusMessage("Reading Line# %ld", m_line);
            textinput::CLineScanner scanner(m_text.c_str());
            CVector p;
            if (!scanner.ReadFloat(p.x) || !scanner.ReadFloat(p.y) || !scanner.ReadFloat(p.z)) {
                m_model.ErrorMessage("Syntax error: Read incorrect # of float, line# %lf", static_cast<double>(m_line));
                return false;
            }
            // A point the model cannot store would shift every later point's
            // number; the model has said why.
            if (m_model.AddVertex(p, false) < 0)
                return false;
        }
        return true;
    }

    // Fewer polygon lines than the header promises is not an error.
    bool ReadPolygons(long polygons)
    {
        for (long read = 0; read < polygons; ++read) {
            ++m_line;
            if (!m_in.ReadLine(m_text))
                return true;
            readerframe::WarnIfCut(m_model, m_in, m_line);
            if (m_line % 100 == 0)
                m_model.StatusMessage("Reading Line# %d", ToInt(m_line));
            textinput::CLineScanner counter(m_text.c_str());
            long count = 0;
            counter.ReadLong(count);
            if (count < kMinCorners || count > kMaxCorners) {
                m_model.ErrorMessage("Unsupported polygon count of %d at line# %d", ToInt(count), ToInt(m_line));
                return false;
            }
            textinput::CLineScanner scanner(m_text.c_str());
            long field[kMaxCorners + 1];
            int fields = 0;
            while (fields < count + 1 && scanner.ReadLong(field[fields]))
                ++fields;
            if (fields != count + 1) {
                m_model.ErrorMessage("Field Count Mismatch(count=%d, read = %d) line# %d", ToInt(count), fields,
                                     ToInt(m_line));
                return false;
            }
            // Vertex numbers are taken as written; faces whose numbers name
            // no point are skipped by everything that walks the model.
            m_corners.clear();
            for (int k = 1; k <= count; ++k)
                m_corners.push_back(textinput::ToVertexNumber(field[k]));
            if (!polygonsplit::AddPolygon(m_model, m_corners, &m_splitBudget))
                return false;
        }
        return true;
    }

    int Fail()
    {
        m_model.EndWait();
        m_model.Clear(true);
        return 0;
    }

    CModel& m_model;
    textinput::CTextStream m_in;
    std::string m_text;
    std::vector<int32_t> m_corners;
    polygonsplit::CSplitBudget m_splitBudget;  // ear clipping for the whole file
    long m_line = 1;
};

}  // namespace

int ReadAoff(CModel& model, FILE* fp)
{
    CAoffReader reader(model, fp);
    return reader.Read();
}
