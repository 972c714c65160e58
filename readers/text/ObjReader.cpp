#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "PolygonSplit.h"
#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

using textinput::IsDigit;
using textinput::IsSpace;

namespace {

class CObjReader
{
public:
    CObjReader(CModel& model, FILE* fp) : m_model(model), m_in(fp) {}

    int Read()
    {
        m_model.BeginWait();
        m_model.Clear(true);
        try {
            while (m_in.ReadLine(m_text)) {
                ++m_line;
                readerframe::WarnIfCut(m_model, m_in, m_line);
                if (m_line % 100 == 0)
                    m_model.StatusMessage("Reading Line# %ld", m_line);
                // A vertex, face or group the model could not store fails
                // the read; the model has said why.
                if (!ReadLine() || m_model.OutOfMemory())
                    return Fail();
            }
        } catch (const std::bad_alloc&) {
            m_model.ErrorMessage("Out of memory, Line# %ld", m_line);
            return Fail();
        }
        // Vertices were stored unmerged; their merge index is of no further use.
        m_model.ClearVertexHash();
        m_model.EndWait();
        m_model.FinishLoad();
        return 1;
    }

private:
    bool ReadLine()
    {
        const char* p = m_text.c_str();
        const char* keyword = p;
        while (*p && !IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        const size_t length = static_cast<size_t>(p - keyword);
        while (IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        const char* args = p;

        if (length >= 1 && keyword[0] == 'g') {
            SelectGroup(args);
        } else if (length >= 2 && keyword[0] == 'v' && keyword[1] == 'n') {
            // Normals are not read; their presence asks for smooth shading.
            m_model.SmoothCurrentGroup();
        } else if (length == 1 && keyword[0] == 'v') {
            // vt and vp lines are not positions and must not take vertex numbers.
            return ReadVertex(args);
        } else if ((length == 1 && keyword[0] == 'f') || (length >= 2 && keyword[0] == 'f' && keyword[1] == 'o')) {
            return ReadFace(args);
        }
        return true;
    }

    void SelectGroup(const char* args)
    {
        std::string name;
        for (const char* s = args; *s;) {
            unsigned char c = static_cast<unsigned char>(*s++);
            if (c == '\n' || c == '\r')
                continue;
            if (IsSpace(c)) {
                name += '_';
                while (IsSpace(static_cast<unsigned char>(*s)))
                    ++s;
            } else {
                name += std::isalnum(c) ? static_cast<char>(c) : '_';
            }
        }
        m_model.SetGroup(name.c_str(), FindColor("Red"), FindTexture("Shiny"));
    }

    bool ReadVertex(const char* args)
    {
        float c[3];
        const char* s = args;
        for (float& value : c) {
            while (IsSpace(static_cast<unsigned char>(*s)))
                ++s;
            const char* end = nullptr;
            double d = *s ? textinput::ParseDouble(s, &end) : 0.0;
            if (!*s || end == s) {
                m_model.ErrorMessage("Syntax error line %ld", m_line);
                return false;
            }
            value = textinput::ToFloat(d);
            if (!std::isfinite(value)) {
                m_model.ErrorMessage("Syntax error line %ld", m_line);
                return false;
            }
            // A w component or vertex colours may follow; only three are read.
            s = end;
            while (*s && !IsSpace(static_cast<unsigned char>(*s)))
                ++s;
        }
        if (m_model.AddVertex(CVector(c[0], c[1], c[2]), false) < 0) {
            m_model.ErrorMessage("m_vertices.Add( point ), failed");
            return false;
        }
        return true;
    }

    bool ReadFace(const char* args)
    {
        const long vertexCount = m_model.GetVertexCount();
        bool bad = false;
        m_corners.clear();
        for (const char* s = args; *s;) {
            while (IsSpace(static_cast<unsigned char>(*s)))
                ++s;
            if (!*s)
                break;
            // The vertex number leads a v/vt/vn token; tokens without one
            // (comments, stray words) do not name a corner.
            const bool negative = *s == '-';
            const char* digits = s + (*s == '-' || *s == '+');
            if (!IsDigit(*digits)) {
                while (*s && !IsSpace(static_cast<unsigned char>(*s)))
                    ++s;
                continue;
            }
            // Read in the one pass over the token. Every number beyond the
            // vertex count is as bad as another, so the digits stop counting
            // long before they could overflow.
            constexpr unsigned long kBeyond = 1ul << 40;
            unsigned long magnitude = 0;
            for (s = digits; IsDigit(*s); ++s)
                magnitude = magnitude < kBeyond ? magnitude * 10 + static_cast<unsigned long>(*s - '0') : kBeyond;
            while (*s && !IsSpace(static_cast<unsigned char>(*s)))
                ++s;
            // Negative numbers count back from the last vertex read so far.
            long number = negative ? vertexCount + 1 - static_cast<long>(magnitude) : static_cast<long>(magnitude);
            if (number < 1 || number > vertexCount) {
                bad = true;
                number = 0;
            }
            m_corners.push_back(static_cast<int32_t>(number));
        }
        if (!m_model.m_currentGroup)
            readerframe::SelectDefaultGroup(m_model);
        if (bad) {
            m_model.ErrorMessage("Bad face value, line %d", textinput::ToInt(m_line));
            return false;
        }
        if (m_corners.size() == 4)
            m_model.AddFace(4, m_corners.data());
        else
            polygonsplit::AddPolygon(m_model, m_corners, &m_splitBudget);
        return true;
    }

    int Fail()
    {
        m_model.Clear(true);
        m_model.EndWait();
        return -1;
    }

    CModel& m_model;
    textinput::CTextStream m_in;
    std::string m_text;
    std::vector<int32_t> m_corners;
    polygonsplit::CSplitBudget m_splitBudget;  // ear clipping for the whole file
    long m_line = 0;
};

}  // namespace

int ReadObj(CModel& model, FILE* fp)
{
    CObjReader reader(model, fp);
    return reader.Read();
}
