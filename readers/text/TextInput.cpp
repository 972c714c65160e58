#include "TextInput.h"

#include <algorithm>
#include <cstring>

namespace textinput {

bool CTextStream::Fill()
{
    if (!m_fp && !m_sourceLeft)
        return false;
    if (!m_markLine)
        m_markLine = LineAt(m_mark);
    Line();  // counts the line feeds of the buffer about to be replaced
    m_counted = 0;
    m_pos = 0;
    if (m_sourceLeft) {
        m_end = std::min(m_sourceLeft, sizeof m_buffer);
        std::memcpy(m_buffer, m_source, m_end);
        m_source += m_end;
        m_sourceLeft -= m_end;
    } else {
        m_end = 0;  // nothing left to hand out should the read fail
        m_end = ReadOrThrow(m_buffer, sizeof m_buffer, m_fp);
    }
    if (!m_started) {
        m_started = true;
        // Editors that save UTF-8 may put a byte-order mark first. It is no
        // text: left in, it would spoil the first keyword, number or name.
        static constexpr unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
        if (m_end >= sizeof kByteOrderMark && std::memcmp(m_buffer, kByteOrderMark, sizeof kByteOrderMark) == 0)
            m_pos = sizeof kByteOrderMark;
    }
    return m_pos < m_end;
}

namespace {
// A plain loop the compiler turns into vector compares: faster than a call
// per line feed on the short spans between items, and as fast on a buffer.
long CountLineFeeds(const unsigned char* p, const unsigned char* end)
{
    long feeds = 0;
    // Byte-sized sums, which cannot pass 255 within a block, keep the
    // vectors at sixteen or more bytes a step.
    for (; end - p >= 255; p += 255) {
        unsigned char block = 0;
        for (int k = 0; k < 255; ++k)
            block = static_cast<unsigned char>(block + (p[k] == '\n'));
        feeds += block;
    }
    for (; p < end; ++p)
        feeds += *p == '\n';
    return feeds;
}
}  // namespace

long CTextStream::Line()
{
    m_lineFeeds += CountLineFeeds(m_buffer + m_counted, m_buffer + m_pos);
    m_counted = m_pos;
    return m_lineFeeds + 1;
}

long CTextStream::LineAt(size_t pos) const
{
    if (pos >= m_counted)
        return m_lineFeeds + CountLineFeeds(m_buffer + m_counted, m_buffer + pos) + 1;
    return m_lineFeeds - CountLineFeeds(m_buffer + pos, m_buffer + m_counted) + 1;
}

bool CTextStream::ReadLine(std::string& line)
{
    line.clear();
    m_cut = false;
    m_zero = false;
    if (Peek() == EOF)
        return false;
    bool zeroSeen = false;
    bool ended = false;
    size_t taken = 0;
    while (taken < kMaxLine) {
        if (m_pos == m_end && !Fill())
            break;
        const unsigned char* start = m_buffer + m_pos;
        size_t available = m_end - m_pos;
        if (available > kMaxLine - taken)
            available = kMaxLine - taken;
        const void* feed = std::memchr(start, '\n', available);
        size_t length = feed ? static_cast<size_t>(static_cast<const unsigned char*>(feed) - start) : available;
        if (!zeroSeen) {
            const void* zero = std::memchr(start, '\0', length);
            size_t keep = zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - start) : length;
            line.append(reinterpret_cast<const char*>(start), keep);
            zeroSeen = zero != nullptr;
        }
        m_zero = zeroSeen;
        taken += length;
        m_pos += length;
        if (feed) {
            ++m_pos;
            ended = true;
            break;
        }
    }
    // The tail of an overlong line is no line of its own: read as one, it
    // would turn into geometry or names that the file never held.
    if (!ended && taken == kMaxLine) {
        if (Peek() == '\n')
            Get();
        else if (Peek() != EOF) {
            m_cut = true;
            SkipLine();
        }
    }
    return true;
}

void CTextStream::SkipLine()
{
    for (int c = Get(); c != EOF && c != '\n'; c = Get()) {
    }
}

bool CTextStream::Match(const char* literal)
{
    for (; *literal; ++literal) {
        if (Peek() != static_cast<unsigned char>(*literal))
            return false;
        Get();
    }
    return true;
}

}  // namespace textinput
