#include "WtkMaterials.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// Words of a material table, "//" comments left out, with their lines.
class CMaterialWords
{
public:
    explicit CMaterialWords(FILE* fp) : m_fp(fp) {}

    // False at the end of the file. Words longer than any the format has are
    // cut, so a file without blanks cannot make us hold all of it.
    bool Next(std::string& word)
    {
        word.clear();
        int c = SkipBlanks();
        if (c == EOF)
            return false;
        m_line = m_at;
        while (c != EOF && !IsBlank(c)) {
            if (c == '/' && Peek() == '/') {
                SkipComment();
                return true;
            }
            if (word.size() < kLongestWord)
                word += static_cast<char>(c);
            c = std::fgetc(m_fp);
        }
        if (c == '\n')
            ++m_at;
        return true;
    }
    int Line() const { return m_line; }

private:
    static constexpr size_t kLongestWord = 64;

    static bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

    int Peek()
    {
        int c = std::fgetc(m_fp);
        if (c != EOF)
            std::ungetc(c, m_fp);
        return c;
    }
    // From the second "/" of a comment to the start of the next line.
    void SkipComment()
    {
        int c = std::fgetc(m_fp);
        while (c != EOF && c != '\n')
            c = std::fgetc(m_fp);
        if (c == '\n')
            ++m_at;
    }

    int SkipBlanks()
    {
        for (;;) {
            int c = std::fgetc(m_fp);
            if (c == '\n')
                ++m_at;
            else if (c == '/' && Peek() == '/')
                SkipComment();
            else if (c == EOF || !IsBlank(c))
                return c;
        }
    }

    FILE* m_fp;
    int m_at = 1;    // the line the stream is on
    int m_line = 1;  // the line of the last word
};

bool ToComponent(const std::string& word, float& value)
{
    double v = 0.0;
    const char* end = word.data() + word.size();
    std::from_chars_result result = std::from_chars(word.data(), end, v);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(v))
        return false;
    value = static_cast<float>(std::clamp(v, 0.0, 1.0));
    return true;
}

}  // namespace

bool ReadWtkMaterials(FILE* fp, std::vector<CWtkMaterial>& materials, int& line)
{
    materials.clear();
    line = 1;
    if (!fp)
        return false;
    CMaterialWords words(fp);
    std::string word;
    if (!words.Next(word) || word != "mat") {
        line = words.Line();
        return false;
    }
    while (words.Next(word)) {
        if (word == "matdef") {
            materials.emplace_back();
        } else if (word == "ambientdiffuse" && !materials.empty()) {
            // Before the first block the word only lists what the blocks hold.
            line = words.Line();
            for (float& component : materials.back().color)
                if (!words.Next(word) || !ToComponent(word, component))
                    return false;
        }
    }
    return true;
}
