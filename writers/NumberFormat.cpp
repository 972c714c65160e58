#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace numberformat {

namespace {

constexpr uint64_t kPow10[] = {1ull,
                               10ull,
                               100ull,
                               1000ull,
                               10000ull,
                               100000ull,
                               1000000ull,
                               10000000ull,
                               100000000ull,
                               1000000000ull,
                               10000000000ull};
constexpr int kMaxPrecision = 10;

// Two digits per division: writing digits is most of what the writers do.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839404142434445464748495051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";

void PutPair(char* out, uint64_t pair)
{
    out[0] = kDigitPairs[pair * 2];
    out[1] = kDigitPairs[pair * 2 + 1];
}

char* Digits(char* out, uint64_t value)
{
    int length = 1;
    for (uint64_t power = 10; length < 20 && value >= power; power *= 10)
        ++length;
    char* p = out + length;
    for (; value >= 100; value /= 100)
        PutPair(p -= 2, value % 100);
    if (value >= 10)
        PutPair(p - 2, value);
    else
        p[-1] = static_cast<char>('0' + value);
    return out + length;
}

char* PaddedDigits(char* out, uint64_t value, int count)
{
    int i = count;
    for (; i >= 2; i -= 2, value /= 100)
        PutPair(out + i - 2, value % 100);
    if (i == 1)
        out[0] = static_cast<char>('0' + value % 10);
    return out + count;
}

// a (0 <= a) times 10^precision, rounded to an integer with ties to even and
// split at the decimal point, from one double multiplication: t = a * 10^p is
// the exact product rounded, so it is off by at most half a unit in its last
// place (below t * 2^-53). When t lies clearly nearer one integer than the
// next, the exact product rounds to that same integer, as the C library
// rounds it. False near a tie, for large values and for infinities and NaNs:
// std::to_chars does the exact work there.
struct CSplit
{
    uint64_t whole;
    uint64_t fraction;
};

bool QuickSplit(double a, int precision, CSplit& split)
{
    const double t = a * static_cast<double>(kPow10[precision]);
    if (!(t < 0x1p52))
        return false;
    // Adding and taking away 2^52 rounds to an integer, ties to even.
    const double n = (t + 0x1p52) - 0x1p52;
    if (!(std::fabs(t - n) < 0.5 - t * 0x1p-50))
        return false;
    const uint64_t whole = static_cast<uint64_t>(n);
    // The precisions the formats use divide by a constant, which compiles
    // to a multiplication instead of a division.
    switch (precision) {
    case 5:
        split = {whole / 100000, whole % 100000};
        break;
    case 6:
        split = {whole / 1000000, whole % 1000000};
        break;
    default:
        split = {whole / kPow10[precision], whole % kPow10[precision]};
        break;
    }
    return true;
}

}  // namespace

char* Fixed(char* out, double value, int precision)
{
    CSplit split;
    if (precision >= 0 && precision <= kMaxPrecision && QuickSplit(std::fabs(value), precision, split)) {
        if (std::signbit(value))
            *out++ = '-';
        out = Digits(out, split.whole);
        if (precision > 0) {
            *out++ = '.';
            out = PaddedDigits(out, split.fraction, precision);
        }
        return out;
    }
    return std::to_chars(out, out + kMaxNumber, value, std::chars_format::fixed, precision).ptr;
}

char* General(char* out, double value)
{
    const double a = std::fabs(value);
    // Six significant digits. With X the decimal exponent after rounding to
    // them, -4 <= X < 6 is written as a plain decimal with 5 - X digits after
    // the point, trailing zeros dropped; anything else in exponent form.
    if (a >= 1e-4 && a < 1e6) {
        // X before rounding; the loop moves it up when rounding carries
        // into a seventh digit.
        static constexpr double kTens[] = {1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5};
        int x = -4;
        while (x < 5 && a >= kTens[x + 4])
            ++x;
        for (; x < 6; ++x) {
            const int p = 5 - x;
            CSplit split;
            if (!QuickSplit(a, p, split))
                break;
            if (split.whole * kPow10[p] + split.fraction >= 1000000)
                continue;
            if (std::signbit(value))
                *out++ = '-';
            out = Digits(out, split.whole);
            int digits = p;
            uint64_t fraction = split.fraction;
            while (digits > 0 && fraction % 10 == 0) {
                fraction /= 10;
                --digits;
            }
            if (digits > 0) {
                *out++ = '.';
                out = PaddedDigits(out, fraction, digits);
            }
            return out;
        }
    }
    return std::to_chars(out, out + kMaxNumber, value, std::chars_format::general, 6).ptr;
}

char* Integer(char* out, long value)
{
    if (value < 0) {
        *out++ = '-';
        return Digits(out, 0 - static_cast<uint64_t>(value));
    }
    return Digits(out, static_cast<uint64_t>(value));
}

namespace {

struct CDirective
{
    bool zero = false;
    bool left = false;
    bool isLong = false;
    int width = 0;
    int precision = -1;
    char conversion = 0;
};

constexpr int kMaxWidth = 64;

// Reads the conversion after a '%'; returns the text after it, or null for
// one these routines do not write.
const char* ParseDirective(const char* p, CDirective& directive)
{
    // The conversions records are made of, without flags or width.
    switch (p[0]) {
    case 'f':
    case 'g':
    case 'd':
    case 's':
        directive.conversion = p[0];
        return p + 1;
    case 'l':
        if (p[1] == 'd') {
            directive.isLong = true;
            directive.conversion = 'd';
            return p + 2;
        }
        break;
    }
    for (;; ++p) {
        if (*p == '0')
            directive.zero = true;
        else if (*p == '-')
            directive.left = true;
        else
            break;
    }
    while (*p >= '0' && *p <= '9') {
        directive.width = directive.width * 10 + (*p++ - '0');
        if (directive.width > kMaxWidth)
            return nullptr;
    }
    if (*p == '.') {
        ++p;
        directive.precision = 0;
        while (*p >= '0' && *p <= '9') {
            directive.precision = directive.precision * 10 + (*p++ - '0');
            if (directive.precision > kMaxPrecision)
                return nullptr;
        }
    }
    if (*p == 'l') {
        directive.isLong = true;
        ++p;
    }
    directive.conversion = *p;
    switch (directive.conversion) {
    case 'f':
        if (directive.zero || directive.isLong)
            return nullptr;
        break;
    case 'g':
        if (directive.zero || directive.isLong || (directive.precision != -1 && directive.precision != 6))
            return nullptr;
        break;
    case 'd':
    case 'x':
        if (directive.precision != -1)
            return nullptr;
        break;
    case 's':
        if (directive.zero || directive.isLong || directive.precision != -1)
            return nullptr;
        break;
    case '%':
        if (directive.zero || directive.left || directive.isLong || directive.width || directive.precision != -1)
            return nullptr;
        break;
    default:
        return nullptr;
    }
    return p + 1;
}

bool Supported(const char* format)
{
    for (const char* p = std::strchr(format, '%'); p; p = std::strchr(p, '%')) {
        CDirective directive;
        p = ParseDirective(p + 1, directive);
        if (!p)
            return false;
    }
    return true;
}

size_t WriteBytes(const void* data, size_t length, FILE* fp)
{
#if defined(__GLIBC__)
    // The program writes each stream from one thread; the lock buys nothing.
    return fwrite_unlocked(data, 1, length, fp);
#else
    return std::fwrite(data, 1, length, fp);
#endif
}

// Collects one record and hands it to the stream in as few writes as it can.
// A record too long for the buffer is written in pieces, but only once the
// whole format is known to be one these routines write: until then nothing
// has reached the stream and the C library can still take over.
class CRecord
{
public:
    CRecord(FILE* fp, const char* format) : m_fp(fp), m_format(format) {}

    bool Unsupported() const { return m_unsupported; }
    void MarkUnsupported() { m_unsupported = true; }

    bool Put(char c)
    {
        if (m_used == sizeof m_buffer && !Flush(false))
            return false;
        m_buffer[m_used++] = c;
        return true;
    }

    bool Append(const char* text, size_t length)
    {
        if (length > sizeof m_buffer - m_used) {
            if (!Flush(false))
                return false;
            if (length > sizeof m_buffer)
                return WriteBytes(text, length, m_fp) == length;
        }
        std::memcpy(m_buffer + m_used, text, length);
        m_used += length;
        return true;
    }

    // Room for one conversion and its padding.
    char* Reserve()
    {
        if (sizeof m_buffer - m_used < kMaxNumber + kMaxWidth + 1 && !Flush(false))
            return nullptr;
        return m_buffer + m_used;
    }
    void Commit(char* end) { m_used = static_cast<size_t>(end - m_buffer); }

    bool Flush(bool last)
    {
        if (!last && !m_verified) {
            m_verified = true;
            if (!Supported(m_format)) {
                m_unsupported = true;
                return false;
            }
        }
        const size_t used = m_used;
        m_used = 0;
        m_verified = true;
        return used == 0 || WriteBytes(m_buffer, used, m_fp) == used;
    }

private:
    FILE* m_fp;
    const char* m_format;
    bool m_verified = false;
    bool m_unsupported = false;
    size_t m_used = 0;
    char m_buffer[1024];
};

// Writes `text` of `length` characters padded to the directive's width.
char* Padded(char* out, const char* text, size_t length, const CDirective& directive)
{
    const size_t width = static_cast<size_t>(directive.width);
    if (width <= length) {
        std::memcpy(out, text, length);
        return out + length;
    }
    const size_t pad = width - length;
    if (directive.left) {
        std::memcpy(out, text, length);
        std::memset(out + length, ' ', pad);
    } else if (directive.zero) {
        // Zeros go between the sign and the digits.
        size_t sign = length > 0 && text[0] == '-' ? 1 : 0;
        std::memcpy(out, text, sign);
        std::memset(out + sign, '0', pad);
        std::memcpy(out + sign + pad, text + sign, length - sign);
    } else {
        std::memset(out, ' ', pad);
        std::memcpy(out + pad, text, length);
    }
    return out + length + pad;
}

// Formats into the record. False when the stream refused a piece or the
// format holds a conversion these routines do not write.
bool Format(CRecord& record, const char* p, va_list args)
{
    for (;;) {
        if (*p != '%') {
            const char* run = p;
            while (*p != '%' && *p != '\0')
                ++p;
            if (!record.Append(run, static_cast<size_t>(p - run)))
                return false;
            if (*p == '\0')
                return true;
        }
        CDirective directive;
        p = ParseDirective(p + 1, directive);
        if (!p) {
            record.MarkUnsupported();  // nothing has reached the stream yet
            return false;
        }
        if (directive.conversion == '%') {
            if (!record.Put('%'))
                return false;
            continue;
        }
        if (directive.conversion == 's') {
            const char* text = va_arg(args, const char*);
            if (!text)
                text = "(null)";
            const size_t length = std::strlen(text);
            if (static_cast<size_t>(directive.width) > length) {
                // Only short texts need padding: the width is at most kMaxWidth.
                char* out = record.Reserve();
                if (!out)
                    return false;
                record.Commit(Padded(out, text, length, directive));
                continue;
            }
            if (!record.Append(text, length))
                return false;
            continue;
        }
        // The number's digits, written from `to` onwards; returns their end.
        auto convert = [&](char* to) {
            switch (directive.conversion) {
            case 'f':
                return Fixed(to, va_arg(args, double), directive.precision < 0 ? 6 : directive.precision);
            case 'g':
                return General(to, va_arg(args, double));
            case 'd':
                return Integer(to, directive.isLong ? va_arg(args, long) : va_arg(args, int));
            case 'x':
                return directive.isLong ? std::to_chars(to, to + 24, va_arg(args, unsigned long), 16).ptr
                                        : std::to_chars(to, to + 24, va_arg(args, unsigned), 16).ptr;
            }
            return to;
        };
        char* out = record.Reserve();
        if (!out)
            return false;
        if (directive.width == 0) {
            // Nothing to pad: the digits go straight into the record.
            record.Commit(convert(out));
            continue;
        }
        char number[kMaxNumber + 8];
        char* end = convert(number);
        record.Commit(Padded(out, number, static_cast<size_t>(end - number), directive));
    }
}

}  // namespace

bool CRecordOut::Put(const char* data, size_t length)
{
    if (m_text) {
        m_text->append(data, length);  // may throw std::bad_alloc
        return true;
    }
    return WriteBytes(data, length, m_fp) == length;
}

bool VPrint(FILE* fp, const char* format, va_list args)
{
    va_list original;
    va_copy(original, args);
    CRecord record(fp, format);
    bool ok = Format(record, format, args) && record.Flush(true);
    if (!ok && record.Unsupported()) {
        // Nothing was written: the C library formats the whole record.
        ok = std::vfprintf(fp, format, original) >= 0;
    }
    va_end(original);
    return ok;
}

}  // namespace numberformat
