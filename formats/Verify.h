#pragma once

#include <string>
#include <vector>

#include "Formats.h"
#include "Model.h"

// Proving a save: the written file is read back with our own reader of its
// format and compared with the model that was written, group by group as
// the format keeps groups apart, within the precision the format prints.

enum class EVerdict { Verified, Differs, NotVerifiable };

// One group as the format keeps it: one of the model's groups, or several
// that the format cannot tell apart (merged by colour, or the whole model).
struct CVerifyRow
{
    std::string nameIn;   // the model's group, "+N" when N more share the row
    std::string nameOut;  // the group read back, empty when none came back
    long trianglesIn = 0;   // fan triangles of the model's faces
    long dropped = 0;       // of those, left out by the writer's own rules
    long trianglesOut = 0;  // read back
    double areaIn = 0, areaOut = 0;  // in the file's units
    std::string colorIn, colorOut;   // empty where the format keeps no colour
    bool differs = false;
};

struct CVerifyReport
{
    EVerdict verdict = EVerdict::NotVerifiable;
    std::vector<CVerifyRow> rows;
    // What differs, one named difference per entry.
    std::vector<std::string> differences;
    // "verified: 19 groups, 1,368 triangles, nothing lost", "differs: ..." or
    // "not verifiable: no reader for FORMAT".
    std::string verdictLine;

    // The rows as a table of plain text with the verdict line last.
    std::string Table() const;
};

// A format can be proved when we read what we write of it.
bool CanVerify(const CFormat& format);

// Sets the model's write tally for one save and takes it away again, on
// every way out.
class CWriteTallyScope
{
public:
    CWriteTallyScope(CModel& model, CWriteTally* tally) : m_model(model) { m_model.m_writeTally = tally; }
    ~CWriteTallyScope() { m_model.m_writeTally = nullptr; }
    CWriteTallyScope(const CWriteTallyScope&) = delete;
    CWriteTallyScope& operator=(const CWriteTallyScope&) = delete;

private:
    CModel& m_model;
};

// Reads `path`, just written from `written` in `format` with `tally`
// counting, and compares. The model must be as it was written (same
// vertices, groups and scale).
CVerifyReport VerifyWrittenFile(const CModel& written, const CFormat& format, const std::string& path,
                                const CWriteTally& tally);

// 1368 as "1,368".
std::string GroupedNumber(long n);
