#include <cstring>
#include <string>

#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

using textinput::IsDigit;
using textinput::IsSpace;

namespace {

// Group names keep at most this many characters.
constexpr size_t kMaxGroupName = 79;

class CRawReader
{
public:
    CRawReader(CModel& model, FILE* fp) : m_model(model), m_in(fp) {}

    int Read()
    {
        return readerframe::ReadMerging(m_model, "RAW", [this] {
            long line = 0;
            while (!m_model.OutOfMemory() && m_in.ReadLine(m_text)) {
                ++line;
                readerframe::WarnIfCut(m_model, m_in, line);
                ReadLine();
                if (line % 100 == 0)
                    m_model.StatusMessage("Reading Line# %ld", line);
            }
        });
    }

private:
    void ReadLine()
    {
        const char* p = m_text.c_str();
        while (IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        if (IsDigit(*p) || *p == '-') {
            textinput::CLineScanner scanner(p);
            float v[9];
            for (float& value : v)
                if (!scanner.ReadFloat(value))
                    return;  // not a whole triangle: skipped
            m_model.AddTriangle(CVector(v[0], v[1], v[2]), CVector(v[3], v[4], v[5]), CVector(v[6], v[7], v[8]));
            return;
        }
        size_t length;
        if (*p == '"') {
            ++p;
            const char* quote = std::strchr(p, '"');
            length = quote ? static_cast<size_t>(quote - p) : std::strlen(p);
            // An unclosed quote runs to the end of the line, not into its break.
            while (!quote && length > 0 && p[length - 1] == '\r')
                --length;
        } else {
            length = 0;
            while (p[length] && !IsSpace(static_cast<unsigned char>(p[length])))
                ++length;
        }
        if (length == 0)
            return;
        m_name.assign(p, length < kMaxGroupName ? length : kMaxGroupName);
        m_model.SetGroup(m_name.c_str(), FindColor("Red"), FindTexture("Shiny"));
    }

    CModel& m_model;
    textinput::CTextStream m_in;
    std::string m_text;
    std::string m_name;
};

}  // namespace

int ReadRaw(CModel& model, FILE* fp)
{
    CRawReader reader(model, fp);
    return reader.Read();
}
