#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdint>

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

bool CRecordOut::Put(const char* data, size_t length)
{
    if (m_text) {
        m_text->append(data, length);
        return true;
    }
#if defined(__GLIBC__)
    // The program writes each stream from one thread; the lock buys nothing.
    return fwrite_unlocked(data, 1, length, m_fp) == length;
#else
    return std::fwrite(data, 1, length, m_fp) == length;
#endif
}

}  // namespace numberformat
