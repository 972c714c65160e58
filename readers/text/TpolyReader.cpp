#include <vector>

#include "ParsedBatch.h"
#include "Pipeline.h"
#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

namespace {

// Triangles in file order, nine coordinates each, and the status texts
// between them.
enum class CTpolyItem : uint8_t {
    kTriangles,  // `value` triangles
    kStatus      // the status text of read number `value`
};
using CTpolyBatch = CParsedBatch<CTpolyItem>;

// Reads the text into batches; runs on the read-ahead thread, so it touches
// nothing of the model.
class CTpolyParser
{
public:
    CTpolyParser(FILE* fp, bool statusWanted) : m_in(fp), m_statusWanted(statusWanted) {}

    // Each record is the count 3 and three points; anything else ends the
    // file, and so does a record cut short. False once the records ended.
    bool Fill(CTpolyBatch& batch)
    {
        batch.items.clear();
        batch.coordinates.clear();
        m_batch = &batch;
        bool more = true;
        while (more && batch.items.size() < kFullItems && batch.coordinates.size() < kFullCoordinates)
            more = ReadRecord();
        FlushTriangles();
        return more;
    }

    bool AtEnd() const { return m_atEnd; }
    long RecordLine() const { return m_in.MarkedLine(); }

private:
    static constexpr size_t kFullItems = 1024;
    static constexpr size_t kFullCoordinates = 9 * 512;

    bool ReadRecord()
    {
        m_in.SkipSpace();
        m_in.Mark();
        if (m_in.Peek() == EOF) {
            m_atEnd = true;
            return false;
        }
        long count = 0;
        if (!m_in.ReadLong(count))
            return false;
        CountRead();
        if (count != 3)
            return false;
        float xyz[9];
        for (int corner = 0; corner < 3; ++corner) {
            if (!m_in.ReadFloats(xyz + 3 * corner, 3))
                return false;
            CountRead();
        }
        m_batch->coordinates.insert(m_batch->coordinates.end(), xyz, xyz + 9);
        ++m_triangles;
        return true;
    }

    void FlushTriangles()
    {
        if (m_triangles > 0)
            m_batch->items.push_back({CTpolyItem::kTriangles, m_triangles});
        m_triangles = 0;
    }

    void CountRead()
    {
        if (++m_reads % 100 == 0 && m_statusWanted) {
            FlushTriangles();
            m_batch->items.push_back({CTpolyItem::kStatus, m_reads});
        }
    }

    textinput::CTextStream m_in;
    const bool m_statusWanted;
    CTpolyBatch* m_batch = nullptr;
    long m_triangles = 0;  // read and in no item yet
    long m_reads = 0;
    bool m_atEnd = false;
};

class CTpolyReader
{
public:
    CTpolyReader(CModel& model, FILE* fp) : m_model(model), m_parser(fp, model.ShowsStatus()) {}

    int Read()
    {
        return readerframe::ReadMerging(m_model, "TPOLY", [this] {
            // The triangles before it stay, but the user learns that the file held more.
            if (Build() && !m_parser.AtEnd() && !m_model.OutOfMemory())
                m_model.WarningMessage("Reading stopped at line %ld: no complete triangle record there",
                                       m_parser.RecordLine());
        });
    }

private:
    // Builds the model from the parsed triangles, read ahead on a second
    // thread (see CPipeline). True when they ended, false when memory ran
    // out first; the parser's state is the pipeline's until they have ended.
    bool Build()
    {
        CPipeline<CTpolyBatch> ahead(
            BatchReader<CTpolyBatch>([this](CTpolyBatch& batch) { return m_parser.Fill(batch); }),
            m_model.MayUseHelperThread());
        while (const CTpolyBatch* batch = ahead.Take()) {
            const float* xyz = batch->coordinates.data();
            for (const CTpolyBatch::CItem& item : batch->items) {
                if (item.kind == CTpolyItem::kStatus) {
                    m_model.StatusMessage("Reading Line# %ld", item.value);
                    continue;
                }
                for (long k = 0; k < item.value; ++k, xyz += 9) {
                    m_model.AddTriangle(CVector(xyz[0], xyz[1], xyz[2]), CVector(xyz[3], xyz[4], xyz[5]),
                                        CVector(xyz[6], xyz[7], xyz[8]));
                    if (m_model.OutOfMemory())
                        return false;
                }
            }
        }
        return true;
    }

    CModel& m_model;
    // The parser's fields change with every number it reads: on cache lines
    // of their own, apart from the model builder's.
    alignas(64) CTpolyParser m_parser;
};

}  // namespace

int ReadTpoly(CModel& model, FILE* fp)
{
    CTpolyReader reader(model, fp);
    return reader.Read();
}
