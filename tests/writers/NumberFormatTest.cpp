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
// (k / 2^b has b decimals, so it sits halfway at precision b - 1), values
// next to decimal halves, and the neighbours of powers of ten and of the
// points where rounding carries.

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
    // Next to decimal halves, where the short path must leave the rounding
    // to the exact one: within a few units of the last place of a tie.
    for (int i = 0; i < 20000; ++i) {
        const double k = static_cast<double>(random() % (1ull << (1 + random() % 30)));
        const double v = (k + 0.5) / std::pow(10.0, static_cast<double>(random() % 11));
        values.insert(values.end(), {v, std::nextafter(v, 0.0), std::nextafter(v, HUGE_VAL), -v});
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

// The records the exporters write, built once through printf and once
// through the record writer, whose output goes to `out`. Many records, so
// that the buffer is handed over at every kind of boundary, with texts
// longer than the whole buffer among them.
std::string WriteRecords(numberformat::CRecordOut& out)
{
    const std::vector<double> values = Values();
    const std::string longName(20000, 'n');
    std::string want;
    for (size_t i = 0; i + 2 < values.size(); i += 3) {
        const double x = values[i], y = values[i + 1], z = values[i + 2];
        const long n = static_cast<long>(i) * 7919 - 1000000;
        const int digit = static_cast<int>(i & 15);
        want += Oracle("v %.5f %.5f %.5f\n%g %g %g\n<%f, %f, %f>\nFace %ld: 0x%01x\n", x, y, z, x, y, z, x, y, z, n,
                       digit);
        out.Text("v ").Fixed(x, 5).Text(" ").Fixed(y, 5).Text(" ").Fixed(z, 5).Text("\n");
        out.General(x).Text(" ").General(y).Text(" ").General(z).Text("\n");
        out.Text("<").Fixed(x).Text(", ").Fixed(y).Text(", ").Fixed(z).Text(">\n");
        out.Text("Face ").Long(n).Text(": 0x").HexDigit(digit).Text("\n");
        if (i % 9999 == 0) {
            want += "g " + longName + "\n";
            out.Text("g ").Text(longName).Text("\n");
        }
    }
    return want;
}

// Where two long texts first differ, with a little context.
std::string FirstDifference(const std::string& got, const std::string& want)
{
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        ++i;
    if (i == got.size() && i == want.size())
        return "";
    const size_t from = i < 40 ? 0 : i - 40;
    return "at byte " + std::to_string(i) + ": got \"" + got.substr(from, 80) + "\", want \"" + want.substr(from, 80) +
           "\"";
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
    char* data = nullptr;
    size_t size = 0;
    FILE* fp = open_memstream(&data, &size);
    ASSERT_NE(nullptr, fp);
    numberformat::CRecordOut out(fp);
    const std::string want = WriteRecords(out);
    EXPECT_TRUE(out.Write());
    std::fclose(fp);
    EXPECT_EQ("", FirstDifference(std::string(data, size), want));
    std::free(data);

    std::mt19937_64 random(8);
    char digits[32];
    for (int i = 0; i < 20000; ++i) {
        // Every length of digits, both signs, and the extremes.
        const long n = i < 2 ? (i ? LONG_MIN : LONG_MAX) : static_cast<long>(random()) >> (random() % 64);
        ASSERT_EQ(Oracle("%ld", n), std::string(digits, numberformat::Integer(digits, n)));
    }
}

TEST(NumberFormat, RefusedWritesAreReported)
{
    FILE* fp = std::fopen("/dev/full", "w");
    if (!fp)
        GTEST_SKIP() << "/dev/full not available";
    std::setvbuf(fp, nullptr, _IONBF, 0);
    numberformat::CRecordOut empty(fp);
    EXPECT_TRUE(empty.Write());
    numberformat::CRecordOut number(fp);
    EXPECT_FALSE(number.Fixed(1.0).Text("\n").Write());
    // A text longer than the buffer bypasses it; its refusal counts the same.
    numberformat::CRecordOut name(fp);
    name.Text(std::string(20000, 'n'));
    EXPECT_FALSE(name.Write());
    std::fclose(fp);
}
