#include "TextInput.h"

#include <algorithm>
#include <cstring>

namespace textinput {

bool CTextStream::Fill()
{
    if (!m_fp)
        return false;
    Line();  // counts the line feeds of the buffer about to be replaced
    m_counted = 0;
    m_pos = 0;
    m_end = std::fread(m_buffer, 1, sizeof m_buffer, m_fp);
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

long CTextStream::Line()
{
    // memchr skips the bytes between line feeds many at a time.
    const char* end = reinterpret_cast<const char*>(m_buffer) + m_pos;
    for (const char* p = reinterpret_cast<const char*>(m_buffer) + m_counted; p < end; ++m_lineFeeds, ++p) {
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!p)
            break;
    }
    m_counted = m_pos;
    return m_lineFeeds + 1;
}

bool CTextStream::ReadLine(std::string& line)
{
    line.clear();
    m_cut = false;
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
