
#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

namespace {

class CTpolyReader
{
public:
    CTpolyReader(CModel& model, FILE* fp) : m_model(model), m_in(fp) {}

    int Read()
    {
        return readerframe::ReadMerging(m_model, [this] {
            ReadRecords();
            // The triangles before it stay, but the user learns that the file held more.
            if (!m_atEnd && !m_model.OutOfMemory())
                m_model.WarningMessage("Reading stopped at line %ld: no complete triangle record there",
                                       m_in.MarkedLine());
        });
    }

private:
    // Each record is the count 3 and three points; anything else ends the
    // file, and so does a record cut short.
    void ReadRecords()
    {
        for (;;) {
            m_in.SkipSpace();
            m_in.Mark();
            if (m_in.Peek() == EOF) {
                m_atEnd = true;
                return;
            }
            long count = 0;
            if (!m_in.ReadLong(count))
                return;
            CountRead();
            if (count != 3)
                return;
            CVector corner[3];
            for (CVector& point : corner) {
                float xyz[3];
                if (!m_in.ReadFloats(xyz, 3))
                    return;
                point = CVector(xyz[0], xyz[1], xyz[2]);
                CountRead();
            }
            m_model.AddTriangle(corner[0], corner[1], corner[2]);
            if (m_model.OutOfMemory())
                return;
        }
    }

    void CountRead()
    {
        if (++m_reads % 100 == 0)
            m_model.StatusMessage("Reading Line# %ld", m_reads);
    }

    CModel& m_model;
    textinput::CTextStream m_in;
    long m_reads = 0;
    bool m_atEnd = false;
};

}  // namespace

int ReadTpoly(CModel& model, FILE* fp)
{
    CTpolyReader reader(model, fp);
    return reader.Read();
}
