#pragma once

// Input helpers shared by the text readers: a buffered byte stream with
// line and scanf-style number reading, and a scanner over one line in memory.
// Both read numbers with the same rules, so a number means the same thing to
// every reader whether it is read from a line or straight from the stream.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "Decimal.h"
#include "ReadError.h"

namespace textinput {

// White space of the C locale (blank, tab, line feed, vertical tab, form
// feed, carriage return), the only locale the program runs in; testing it
// directly spares a library call per character.
inline bool IsSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool IsDigit(int c)
{
    return c >= '0' && c <= '9';
}

// Narrows a parsed value to the model's precision. Finite values beyond the
// float range become infinities instead of undefined conversions.
inline float ToFloat(double value)
{
    if (value > FLT_MAX)
        return HUGE_VALF;
    if (value < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(value);
}

// A vertex number that does not fit 32 bits becomes 0, which no face
// traversal resolves to a vertex.
inline int32_t ToVertexNumber(long value)
{
    return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

inline int ToInt(long value)
{
    return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// strtod(s, end) for the numbers model files hold: the same value and the
// same end. Plain decimal numbers go through std::from_chars, which rounds
// exactly as strtod does (both give the double nearest the decimal value,
// ties to even) without its locale and multi-precision machinery; anything
// else (hexadecimal, inf, nan, leading blanks, values out of range) is left to
// strtod itself.
inline double ParseDouble(const char* s, const char** end)
{
    const char* p = s + (*s == '+' || *s == '-');
    const bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (!hex) {
        // The text ends in a zero, which no part of a number matches, so the
        // scans need no bound of their own. Coordinates almost always take
        // the quick way, in one pass.
        const auto unbounded = [](const char*) { return true; };
        double quick;
        if (const char* last = ScanShortDecimal(s, unbounded, quick)) {
            *end = last;
            return quick;
        }
        if (const char* last = DecimalEnd(s, unbounded)) {
            *end = last;
            return DecimalValue(s, last);
        }
    }
    char* stop = nullptr;
    const double value = std::strtod(s, &stop);
    *end = stop;
    return value;
}

// Characters of one number token, kept inline unless the number is absurdly
// long, so that reading a number allocates nothing.
class CNumberToken
{
public:
    void Push(char c)
    {
        if (m_length + 1 < sizeof m_inline) {
            m_inline[m_length++] = c;
            return;
        }
        if (m_long.empty())
            m_long.assign(m_inline, m_length);
        m_long += c;
        ++m_length;
    }
    size_t Size() const { return m_length; }
    const char* CStr()
    {
        if (!m_long.empty())
            return m_long.c_str();
        m_inline[m_length] = '\0';
        return m_inline;
    }

private:
    char m_inline[80];
    size_t m_length = 0;
    std::string m_long;
};

// The common case of ScanDouble without copying: a plain decimal number
// that ends inside the bytes the source holds in memory is parsed where it
// lies. The token is the one the copying path below would collect, and
// DecimalValue gives strtod's value for it. Anything else (no digits, inf
// or nan, a number running past the buffer) is left to the copying path,
// with nothing consumed.
template <typename Source>
bool ScanDecimalInPlace(Source& in, double& value)
{
    const char* start;
    const char* end;  // null: the text ends with a zero byte
    if (!in.Contiguous(start, end))
        return false;
    auto more = [end](const char* q) { return end ? q < end : *q != '\0'; };
    double parsed;
    // Each kind of end on its own, so the digit loops test one condition.
    const char* q = end ? ScanShortDecimal(start, [end](const char* t) { return t < end; }, parsed)
                        : ScanShortDecimal(start, [](const char* t) { return *t != '\0'; }, parsed);
    if (q && more(q)) {
        value = parsed;
        in.Skip(static_cast<size_t>(q - start));
        return true;
    }
    const char* p = DecimalEnd(start, more);
    if (!p)
        return false;
    const char* last = p;
    // %g reads an exponent mark without digits too, as part of the number.
    auto exponent = [](char c) { return c == 'e' || c == 'E'; };
    if (more(p) && exponent(*p) && std::none_of(start, last, exponent)) {
        ++p;
        if (more(p) && (*p == '+' || *p == '-'))
            ++p;
    }
    if (!more(p))
        return false;
    value = DecimalValue(start, last);
    in.Skip(static_cast<size_t>(p - start));
    return true;
}

// Skips white space, then reads a decimal floating-point number the way %g
// does: optional sign, digits with an optional point, optional exponent, or
// inf/infinity/nan. False, with nothing but white space consumed past the
// sign, when no number starts there. May throw std::bad_alloc for absurdly
// long numbers.
template <typename Source>
bool ScanDouble(Source& in, double& value)
{
    // Most numbers, and the white space before them, lie inside the bytes
    // the source holds: they are read there in one go. Otherwise the steps
    // below do the same one byte at a time.
    const char* buffered;
    const char* bufferEnd;
    if (in.Contiguous(buffered, bufferEnd) && bufferEnd) {
        const char* p = buffered;
        while (p < bufferEnd && IsSpace(*p))
            ++p;
        double parsed;
        const char* q = ScanShortDecimal(p, [bufferEnd](const char* t) { return t < bufferEnd; }, parsed);
        if (q && q < bufferEnd) {
            value = parsed;
            in.Skip(static_cast<size_t>(q - buffered));
            return true;
        }
    }
    while (IsSpace(in.Peek()))
        in.Get();
    if (ScanDecimalInPlace(in, value))
        return true;
    CNumberToken token;
    if (in.Peek() == '+' || in.Peek() == '-')
        token.Push(static_cast<char>(in.Get()));
    const size_t start = token.Size();
    int c = in.Peek();
    if (c == 'i' || c == 'I' || c == 'n' || c == 'N') {
        // "infinity" is the longest word a number can be.
        while (token.Size() - start < 8 && std::isalpha(static_cast<unsigned char>(in.Peek())))
            token.Push(static_cast<char>(in.Get()));
    } else {
        bool digits = false;
        while (IsDigit(in.Peek())) {
            token.Push(static_cast<char>(in.Get()));
            digits = true;
        }
        if (in.Peek() == '.') {
            token.Push(static_cast<char>(in.Get()));
            while (IsDigit(in.Peek())) {
                token.Push(static_cast<char>(in.Get()));
                digits = true;
            }
        }
        if (!digits)
            return false;
        if (in.Peek() == 'e' || in.Peek() == 'E') {
            token.Push(static_cast<char>(in.Get()));
            if (in.Peek() == '+' || in.Peek() == '-')
                token.Push(static_cast<char>(in.Get()));
            while (IsDigit(in.Peek()))
                token.Push(static_cast<char>(in.Get()));
        }
    }
    const char* text = token.CStr();
    const char* end = nullptr;
    value = ParseDouble(text, &end);
    return end > text + start;
}

// Skips white space, then reads a decimal integer the way %ld does; values
// beyond the range of long saturate.
template <typename Source>
bool ScanLong(Source& in, long& value)
{
    while (IsSpace(in.Peek()))
        in.Get();
    bool negative = false;
    if (in.Peek() == '+' || in.Peek() == '-')
        negative = in.Get() == '-';
    if (!IsDigit(in.Peek()))
        return false;
    unsigned long magnitude = 0;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    while (IsDigit(in.Peek())) {
        unsigned long digit = static_cast<unsigned long>(in.Get() - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (negative)
        value = magnitude > static_cast<unsigned long>(LONG_MAX) ? LONG_MIN : -static_cast<long>(magnitude);
    else
        value = static_cast<long>(magnitude);
    return true;
}

// A number read as a double and stored as a float, clamped as ToFloat does.
// Infinities, NaN and values beyond the float range count as unreadable: no
// coordinate, colour or size can use them, and writers would pass them on
// into files that their consumers refuse.
template <typename Source>
bool ScanFloat(Source& in, float& value)
{
    double d;
    if (!ScanDouble(in, d))
        return false;
    value = ToFloat(d);
    return std::isfinite(value);
}

// Reads up to `count` numbers as ScanFloat does, for as long as each lies
// whole in the bytes the source holds, in one pass over them; returns how
// many it read. The caller reads the rest with ScanFloat.
template <typename Source>
int ScanFloatsBuffered(Source& in, float* out, int count)
{
    const char* start;
    const char* end;
    if (!in.Contiguous(start, end) || !end)
        return 0;
    const char* read = start;  // past the last number read
    int n = 0;
    for (; n < count; ++n) {
        const char* p = read;
        while (p < end && IsSpace(*p))
            ++p;
        double parsed;
        const char* q = ScanShortDecimal(p, [end](const char* t) { return t < end; }, parsed);
        if (!q || q == end)
            break;
        const float value = ToFloat(parsed);
        if (!std::isfinite(value))
            break;
        out[n] = value;
        read = q;
    }
    in.Skip(static_cast<size_t>(read - start));
    return n;
}

// Scanner over one zero-terminated line.
class CLineScanner
{
public:
    explicit CLineScanner(const char* text) : m_p(text) {}

    int Peek() const { return *m_p ? static_cast<unsigned char>(*m_p) : EOF; }
    int Get() { return *m_p ? static_cast<unsigned char>(*m_p++) : EOF; }
    bool ReadDouble(double& value) { return ScanDouble(*this, value); }
    bool ReadFloat(float& value) { return ScanFloat(*this, value); }
    bool ReadLong(long& value) { return ScanLong(*this, value); }
    const char* Position() const { return m_p; }
    // The unread text, which ends with a zero byte.
    bool Contiguous(const char*& start, const char*& end) const
    {
        start = m_p;
        end = nullptr;
        return true;
    }
    void Skip(size_t n) { m_p += n; }

private:
    const char* m_p;
};

// Buffered reader over an open stream. It never allocates in proportion to a
// count read from the file, only to the text actually present. A UTF-8
// byte-order mark at the start of the stream is skipped.
class CTextStream
{
public:
    // Lines longer than this are handed out in pieces, each read as a line.
    static constexpr size_t kMaxLine = 16u << 20;

    explicit CTextStream(FILE* fp) : m_fp(fp) {}
    // A piece of a file already read: `size` bytes at `text`, then what
    // `rest` holds when it is not null. The byte-order mark is looked for
    // only where the piece starts the file.
    CTextStream(const unsigned char* text, size_t size, FILE* rest, bool fileStart)
        : m_fp(rest), m_started(!fileStart), m_source(text), m_sourceLeft(size)
    {
    }
    CTextStream(const CTextStream&) = delete;
    CTextStream& operator=(const CTextStream&) = delete;

    int Peek()
    {
        if (m_pos == m_end && !Fill())
            return EOF;
        return m_buffer[m_pos];
    }
    int Get()
    {
        if (m_pos == m_end && !Fill())
            return EOF;
        return m_buffer[m_pos++];
    }

    // Reads the next line without its line feed. A zero byte ends the line's
    // text (the rest of that line is dropped), as it would for a C string.
    // A line longer than kMaxLine gives its first kMaxLine characters and
    // the rest is skipped (see LineCut). False at end of input when no
    // character was left. May throw std::bad_alloc.
    bool ReadLine(std::string& line);
    // Whether the last ReadLine had to skip the end of an overlong line.
    bool LineCut() const { return m_cut; }
    // Whether the last ReadLine's line held a zero byte.
    bool LineHadZero() const { return m_zero; }
    // The 1-based number of the line the next character belongs to.
    long Line();
    // Remembers the next character's place, for MarkedLine to number its
    // line later. Readers that mark every item and only name the line of
    // the one that failed count line feeds once per buffer this way, not
    // once per item.
    void Mark()
    {
        m_mark = m_pos;
        m_markLine = 0;
    }
    long MarkedLine() const { return m_markLine ? m_markLine : LineAt(m_mark); }
    // Skips through the next line feed.
    void SkipLine();
    void SkipSpace()
    {
        for (;;) {
            while (m_pos < m_end && IsSpace(m_buffer[m_pos]))
                ++m_pos;
            if (m_pos < m_end || !Fill())
                return;
        }
    }
    // Consumes `literal` if the input continues with it; on a mismatch the
    // characters that did match are consumed, as with scanf.
    bool Match(const char* literal);
    bool ReadDouble(double& value) { return ScanDouble(*this, value); }
    bool ReadFloat(float& value) { return ScanFloat(*this, value); }
    // `count` numbers in a row, each read as ReadFloat reads it.
    bool ReadFloats(float* values, int count)
    {
        for (int n = ScanFloatsBuffered(*this, values, count); n < count; ++n)
            if (!ReadFloat(values[n]))
                return false;
        return true;
    }
    bool ReadLong(long& value) { return ScanLong(*this, value); }
    // The buffered bytes not read yet; false at end of input.
    bool Contiguous(const char*& start, const char*& end)
    {
        if (m_pos == m_end && !Fill())
            return false;
        start = reinterpret_cast<const char*>(m_buffer + m_pos);
        end = reinterpret_cast<const char*>(m_buffer + m_end);
        return true;
    }
    void Skip(size_t n) { m_pos += n; }

private:
    bool Fill();
    // The line of m_buffer[pos].
    long LineAt(size_t pos) const;

    FILE* m_fp;
    unsigned char m_buffer[65536];
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_started = false;
    bool m_cut = false;
    bool m_zero = false;
    // Text read before the stream, handed out before m_fp's.
    const unsigned char* m_source = nullptr;
    size_t m_sourceLeft = 0;
    // Line feeds before m_buffer[m_counted]; Line() counts on from there.
    long m_lineFeeds = 0;
    size_t m_counted = 0;
    // The mark: its place in the buffer, or its line (not 0) once the buffer moved on.
    size_t m_mark = 0;
    long m_markLine = 1;
};

}  // namespace textinput
