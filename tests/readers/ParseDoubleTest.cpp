#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TextInput.h"

// The readers' number parsing must give strtod's value and stop where strtod
// stops, for every text. The oracle is strtod itself over numbers written
// every way a file may hold them, random digit strings of every length and
// exponent (subnormals, overflow), and the exact midpoints between adjacent
// doubles, where a parser that rounds imprecisely picks the wrong neighbour.

namespace {

std::vector<std::string> Texts()
{
    std::mt19937_64 random(7122026);
    std::vector<std::string> texts = {"0", "-0", "+0", ".5", "-.5", "+.5", "5.", "1e5", "1E-5", "1e", "1e+", "1e-x",
                                      "1.5.3", "+-1", "-+1", "0x1p3", "-0X10", "inf", "-Infinity", "nan", "nan(12)",
                                      "1e400", "-1e400", "1e-400", "4.9e-324", "2.4703282292062327e-324",
                                      "2.4703282292062328e-324", "1.7976931348623158e308", "1.7976931348623159e308",
                                      "00000000000000000000000000001.5", "1,5", "  7", ".", "-", "e5", "",
                                      "123456789012345678901234567890", "0.1000000000000000055511151231257827",
                                      // Either side of where the quick exact path gives way.
                                      "9007199254740992", "9007199254740993", "-9007199254740993e-22",
                                      "9007199254740992e22", "9007199254740992e23", "1e-22", "1e-23", "1e22", "1e23",
                                      "1234567890123456789", "12345678901234567890", "0.000000000000000000000001",
                                      "1.e5", "-0.000000", "1e0005", "1e-0"};
    char text[512];
    for (int i = 0; i < 30000; ++i) {
        uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        static const char* const formats[] = {"%.17g", "%.6f", "%g", "%.3e", "%.25g"};
        std::snprintf(text, sizeof text, formats[i % 5], d);
        texts.emplace_back(text);
    }
    for (int i = 0; i < 30000; ++i) {
        // 14 to 20 significant digits scaled by 10^-25 to 10^25: mantissas and
        // powers at the edges of exactness.
        std::string t = std::to_string(random() >> (random() % 21));
        t += "e" + std::to_string(static_cast<int>(random() % 51) - 25);
        texts.push_back(t);
    }
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    for (int i = 0; i < 30000; ++i) {
        std::snprintf(text, sizeof text, i % 2 ? "%.6f" : "%.9g", coordinate(random));
        texts.emplace_back(text);
    }
    for (int i = 0; i < 30000; ++i) {
        // Random digits, a point somewhere, an exponent anywhere, something after.
        std::string t = i % 3 == 0 ? "-" : i % 3 == 1 ? "+" : "";
        const int digits = 1 + static_cast<int>(random() % 30);
        const int point = static_cast<int>(random() % (digits + 1));
        for (int k = 0; k < digits; ++k) {
            if (k == point)
                t += '.';
            t += static_cast<char>('0' + random() % 10);
        }
        if (random() % 2)
            t += "e" + std::to_string(static_cast<int>(random() % 700) - 350);
        t += " xe.+"[random() % 5];
        texts.push_back(t);
    }
    for (int i = 0; i < 30000; ++i) {
        // The midpoint of two neighbours, written out exactly, and one unit in
        // the last written digit either side of it.
        double a = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 80) - 60);
        double b = std::nextafter(a, HUGE_VAL);
        long double middle = (static_cast<long double>(a) + b) / 2;
        std::snprintf(text, sizeof text, "%.70Lf", middle);
        std::string exact = text;
        while (exact.back() == '0')
            exact.pop_back();
        texts.push_back(exact);
        std::string up = exact + "1";
        texts.push_back(up);
        std::string down = exact;
        for (size_t k = down.size(); k-- > 0;) {
            if (down[k] == '.')
                continue;
            if (down[k] > '0') {
                --down[k];
                break;
            }
            down[k] = '9';
        }
        texts.push_back(down + "9");
    }
    return texts;
}

bool SameDouble(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

}  // namespace

TEST(ParseDouble, MatchesStrtodValueAndEnd)
{
    int mismatches = 0;
    for (const std::string& text : Texts()) {
        char* wantEnd = nullptr;
        const double want = std::strtod(text.c_str(), &wantEnd);
        const char* gotEnd = nullptr;
        const double got = textinput::ParseDouble(text.c_str(), &gotEnd);
        if ((!SameDouble(got, want) || gotEnd != wantEnd) && ++mismatches <= 20)
            ADD_FAILURE() << "\"" << text << "\": " << got << " ends at " << gotEnd - text.c_str() << ", strtod "
                          << want << " ends at " << wantEnd - text.c_str();
    }
    EXPECT_EQ(0, mismatches);
}

TEST(ParseDouble, LineScannerReadsLongNumbersWhole)
{
    // A number longer than the token's inline room still reads in full.
    const std::string digits = "1." + std::string(200, '3') + "e-2 9";
    textinput::CLineScanner scanner(digits.c_str());
    double first = 0, second = 0;
    ASSERT_TRUE(scanner.ReadDouble(first));
    ASSERT_TRUE(scanner.ReadDouble(second));
    EXPECT_EQ(std::strtod(digits.c_str(), nullptr), first);
    EXPECT_EQ(9.0, second);
}

TEST(ParseDouble, ScannersAgreeWithStrtodOnLinesAndStreams)
{
    // Each text between blanks and a following 7, read from a line and from a
    // stream: the number read must be strtod's, and both must stop at the same
    // place (the 7 reads back the same way).
    std::string all;
    std::vector<std::string> texts;
    for (const std::string& text : Texts())
        if (text.find_first_of("0123456789") != std::string::npos)
            texts.push_back(text);
    for (const std::string& text : texts)
        all += "  " + text + " 7\n";
    FILE* fp = fmemopen(all.data(), all.size(), "r");
    ASSERT_NE(nullptr, fp);
    textinput::CTextStream stream(fp);
    int mismatches = 0;
    for (const std::string& text : texts) {
        const std::string line = "  " + text + " 7\n";
        textinput::CLineScanner scanner(line.c_str());
        double fromLine = 0, fromStream = 0;
        long afterLine = 0, afterStream = 0;
        const bool lineOk = scanner.ReadDouble(fromLine);
        const bool streamOk = stream.ReadDouble(fromStream);
        scanner.ReadLong(afterLine);
        stream.ReadLong(afterStream);
        stream.SkipLine();
        const char* p = text.c_str();
        while (textinput::IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        // Hexadecimal, inf and nan are read as tokens of their own, not as
        // strtod would take them; for those the two sources need only agree.
        const bool decimal = text.find_first_of("xXiInN") == std::string::npos;
        const double want = std::strtod(p, nullptr);
        const bool same = lineOk == streamOk && afterLine == afterStream && SameDouble(fromLine, fromStream) &&
                          (!lineOk || !decimal || SameDouble(fromLine, want));
        if (!same && ++mismatches <= 20)
            ADD_FAILURE() << "\"" << text << "\": line " << lineOk << " " << fromLine << " then " << afterLine
                          << ", stream " << streamOk << " " << fromStream << " then " << afterStream << ", strtod "
                          << want;
    }
    std::fclose(fp);
    EXPECT_EQ(0, mismatches);
}
