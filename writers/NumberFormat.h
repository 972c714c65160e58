#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Number and record formatting for the exporters. The files must keep the
// exact bytes the C library's printf gives for the conversions they use (%f,
// %6.5f, %g, %d, %ld, %x, %s), but printf costs far more than the digits are
// worth: it parses the format for every record, formats through a
// multi-precision path and writes piecewise into the stream. Most numbers
// take a short path of one double multiplication and integer digits; the
// few it cannot round safely go to std::to_chars, which gives printf's bytes
// in the C locale whatever locale the program runs in. Records reach the
// stream in large pieces.

namespace numberformat {

// Room for any number these routines write (a %f of the largest double has
// 309 integer digits).
constexpr size_t kMaxNumber = 340;

// printf("%.*f", precision, value) for precision 0..10, written at `out`;
// returns the end. Correctly rounded, ties to even, like the C library;
// infinities and NaNs as "inf", "-inf", "nan" and "-nan".
char* Fixed(char* out, double value, int precision);

// printf("%g", value).
char* General(char* out, double value);

// printf("%ld", value).
char* Integer(char* out, long value);

// Records built piece by piece in a buffer that reaches the stream in large
// pieces. The text exporters write everything through it: for the lines
// written per vertex and per face even reading a format, or a stream call
// per line, costs more than the digits. Each piece gives the bytes of its
// printf conversion. Write hands over what has gathered (call it before
// anything else writes to the same stream) and says whether the stream took
// everything so far.
class CRecordOut
{
public:
    explicit CRecordOut(FILE* fp) : m_fp(fp) {}
    // Records gathered into `text` instead, for a stretch of a file made
    // apart from the others; appending may throw std::bad_alloc.
    explicit CRecordOut(std::string& text) : m_text(&text) {}
    CRecordOut(const CRecordOut&) = delete;
    CRecordOut& operator=(const CRecordOut&) = delete;

    template <size_t N>
    CRecordOut& Text(const char (&text)[N])
    {
        return Text(text, N - 1);
    }
    // Names and other texts of run-time length.
    CRecordOut& Text(std::string_view text) { return Text(text.data(), text.size()); }
    CRecordOut& Text(const char* text, size_t length)
    {
        if (length > sizeof m_buffer - m_used) {
            Flush();
            if (length > sizeof m_buffer) {
                m_ok = m_ok && Put(text, length);
                return *this;
            }
        }
        for (size_t i = 0; i < length; ++i)
            m_buffer[m_used + i] = text[i];
        m_used += length;
        return *this;
    }
    // %.*f with the given precision (%f is precision 6).
    CRecordOut& Fixed(double value, int precision = 6)
    {
        Room();
        m_used = static_cast<size_t>(numberformat::Fixed(m_buffer + m_used, value, precision) - m_buffer);
        return *this;
    }
    // %g.
    CRecordOut& General(double value)
    {
        Room();
        m_used = static_cast<size_t>(numberformat::General(m_buffer + m_used, value) - m_buffer);
        return *this;
    }
    // %d and %ld.
    CRecordOut& Long(long value)
    {
        Room();
        m_used = static_cast<size_t>(numberformat::Integer(m_buffer + m_used, value) - m_buffer);
        return *this;
    }
    // %01x of a value 0..15.
    CRecordOut& HexDigit(int value)
    {
        Room();
        m_buffer[m_used++] = "0123456789abcdef"[value & 15];
        return *this;
    }
    // Hands the record to the stream; false when the stream refused any of it.
    bool Write()
    {
        Flush();
        return m_ok;
    }

private:
    bool Put(const char* data, size_t length);
    void Room()
    {
        if (sizeof m_buffer - m_used < kMaxNumber)
            Flush();
    }
    void Flush()
    {
        if (m_used > 0)
            m_ok = m_ok && Put(m_buffer, m_used);
        m_used = 0;
    }

    FILE* m_fp = nullptr;
    std::string* m_text = nullptr;
    bool m_ok = true;
    size_t m_used = 0;
    char m_buffer[16384];
};

}  // namespace numberformat
