#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "NumberFormat.h"

// The exporters' own formatting must give exactly the C library's bytes. The
// oracle is snprintf itself, over values chosen to break a formatter: random
// bit patterns (every exponent, subnormals, infinities, NaNs), the products of
// a float and a double scale that the exporters really write, exact ties
// (k / 2^b has b decimals, so it sits halfway at precision b - 1), and the
// neighbours of powers of ten and of the points where rounding carries.

namespace {

std::vector<double> Values()
{
    std::mt19937_64 random(20261207);
    std::vector<double> values = {0.0, -0.0, 0.5, 1.5, 2.5, -0.5, 1e-5, 1e-4, 1e6, 999999.5, 99999.95, 9.9999995,
                                  0.00001, 123456.5, 0.0000005, 1e300, -1e-300, 5e-324, 9.2e18, 1e19,
                                  HUGE_VAL, -HUGE_VAL, NAN, -NAN};
    for (int i = 0; i < 40000; ++i) {
        uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        values.push_back(d);
    }
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    std::uniform_real_distribution<double> scale(0.0001, 500.0);
    for (int i = 0; i < 40000; ++i)
        values.push_back(coordinate(random) * scale(random));
    for (int i = 0; i < 40000; ++i) {
        const int b = 1 + static_cast<int>(random() % 14);
        const double k = static_cast<double>(random() % (1ull << (1 + random() % 40)));
        values.push_back((i % 2 ? -k : k) / std::ldexp(1.0, b));
    }
    for (int e = -12; e <= 20; ++e)
        for (double mantissa : {1.0, 0.5, 0.95, 0.995, 0.9999995, 0.99999949999, 0.99999950001, 0.15, 0.25, 0.75}) {
            double v = mantissa * std::pow(10.0, e);
            double below = std::nextafter(v, 0.0), above = std::nextafter(v, HUGE_VAL);
            values.insert(values.end(), {v, below, above, -v});
        }
    return values;
}

std::string Oracle(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Everything VPrint writes for one call, through a real stream.
std::string Printed(const char* format, ...)
{
    char* data = nullptr;
    size_t size = 0;
    FILE* fp = open_memstream(&data, &size);
    if (!fp)
        return "<no stream>";
    va_list args;
    va_start(args, format);
    bool ok = numberformat::VPrint(fp, format, args);
    va_end(args);
    std::fclose(fp);
    std::string text(data, size);
    std::free(data);
    return ok ? text : "<failed>";
}

}  // namespace

TEST(NumberFormat, FixedAndGeneralMatchTheCLibrary)
{
    char out[numberformat::kMaxNumber + 1];
    int mismatches = 0;
    for (double v : Values()) {
        for (int precision = 0; precision <= 10 && mismatches < 20; ++precision) {
            std::string got(out, numberformat::Fixed(out, v, precision));
            std::string want = Oracle("%.*f", precision, v);
            if (got != want && ++mismatches)
                ADD_FAILURE() << "%." << precision << "f of " << std::hexfloat << v << ": " << got << " != " << want;
        }
        std::string got(out, numberformat::General(out, v));
        std::string want = Oracle("%g", v);
        if (got != want && ++mismatches < 20)
            ADD_FAILURE() << "%g of " << std::hexfloat << v << ": " << got << " != " << want;
    }
    EXPECT_EQ(0, mismatches);
}

TEST(NumberFormat, RecordsMatchFprintf)
{
    // The exporters' own record formats, and flags and widths around them.
    const std::vector<double> values = Values();
    for (size_t i = 0; i + 2 < values.size(); i += 97) {
        double x = values[i], y = values[i + 1], z = values[i + 2];
        ASSERT_EQ(Oracle("v %6.5f %6.5f %6.5f\n", x, y, z), Printed("v %6.5f %6.5f %6.5f\n", x, y, z));
        ASSERT_EQ(Oracle("%g %g %g\n", x, y, z), Printed("%g %g %g\n", x, y, z));
        ASSERT_EQ(Oracle("<%f, %f, %f>,\n", x, y, z), Printed("<%f, %f, %f>,\n", x, y, z));
        ASSERT_EQ(Oracle("[%12.3f|%-12.3f]", x, y), Printed("[%12.3f|%-12.3f]", x, y));
    }
    for (long n : {0L, 7L, -7L, 65535L, 2147483647L, -2147483647L - 1, 9223372036854775807L}) {
        const int i = static_cast<int>(n);
        EXPECT_EQ(Oracle("Face %ld: A:%d|%5d|%-5d|%05d|%x|%01x|%lx", n, i, i, i, i, i, i & 15, n),
                  Printed("Face %ld: A:%d|%5d|%-5d|%05d|%x|%01x|%lx", n, i, i, i, i, i, i & 15, n));
    }
    std::mt19937_64 random(8);
    char out[32];
    for (int i = 0; i < 20000; ++i) {
        // Every length of digits, both signs, and the extremes.
        const long n = i < 2 ? (i ? LONG_MIN : LONG_MAX) : static_cast<long>(random()) >> (random() % 64);
        ASSERT_EQ(Oracle("%ld", n), std::string(out, numberformat::Integer(out, n)));
    }
    const std::string longName(5000, 'n');
    EXPECT_EQ(Oracle("g %s|%8s|%-8s|%%\n", "body", "ab", "cd"), Printed("g %s|%8s|%-8s|%%\n", "body", "ab", "cd"));
    EXPECT_EQ("#" + longName + "#\n", Printed("#%s#\n", longName.c_str()));
    // Conversions it does not write itself still come out as fprintf's.
    EXPECT_EQ(Oracle("%e %+d %.3g %c", 1.5, 3, 2.25, 'q'), Printed("%e %+d %.3g %c", 1.5, 3, 2.25, 'q'));
    EXPECT_EQ(longName + " " + Oracle("%e", 1.5), Printed("%s %e", longName.c_str(), 1.5));
}

TEST(NumberFormat, RefusedWritesAreReported)
{
    FILE* fp = std::fopen("/dev/full", "w");
    if (!fp)
        GTEST_SKIP() << "/dev/full not available";
    std::setvbuf(fp, nullptr, _IONBF, 0);
    auto print = [fp](const char* format, ...) {
        va_list args;
        va_start(args, format);
        bool ok = numberformat::VPrint(fp, format, args);
        va_end(args);
        return ok;
    };
    EXPECT_FALSE(print("%f\n", 1.0));
    EXPECT_FALSE(print("plain\n"));
    EXPECT_TRUE(print(""));
    std::fclose(fp);
}
