// Token by token: which rule wins where several match, and line counting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "RecordingModel.h"
#include "TestFiles.h"
#include "WtkScanner.h"

namespace {

std::string Describe(int token, const WTKSTYPE& v)
{
    switch (token) {
    case WTK_INTEGER: return "INT:" + std::to_string(v.integer);
    case WTK_FLOAT: return "FLOAT:" + std::to_string(v.real);
    case WTK_HEX: return (v.hex.longForm ? "HEX8:" : "HEX4:") + std::to_string(v.hex.value);
    case WTK_IDENT: return std::string("IDENT:") + v.text;
    case WTK_NFF: return "NFF";
    case WTK_VERSION: return "VERSION";
    case WTK_ID: return "ID";
    case WTK_UNAME: return "UNAME";
    case WTK_MNAME: return "MNAME";
    case WTK_ROT: return "ROT";
    case WTK_WTKUNDEF: return "UNDEF";
    default: return token < 256 ? std::string("'") + static_cast<char>(token) + "'" : "T" + std::to_string(token);
    }
}

// The tokens of `text` blank-separated; with `withLines`, each followed by
// "@" and the line the scanner was on.
std::string Tokens(const std::string& text, bool withLines = false, CModel* model = nullptr)
{
    FILE* fp = testfiles::OpenText(text);
    CWtkScanner scanner(model);
    EXPECT_TRUE(StartWtkScanner(scanner, fp));
    std::string out;
    WTKSTYPE value{};
    for (int token; (token = NextWtkToken(scanner, value)) != 0;) {
        out += (out.empty() ? "" : " ") + Describe(token, value);
        if (withLines)
            out += "@" + std::to_string(scanner.Line());
        if (token == WTK_IDENT)
            std::free(value.text);
    }
    std::fclose(fp);
    return out;
}

TEST(WtkScanner, LongestMatchThenEarliestRule)
{
    const struct {
        const char* text;
        const char* tokens;
    } cases[] = {
        {"version 2.1", "VERSION FLOAT:2.100000"},
        {"version 2", "VERSION INT:2"},
        {"12 12.0 12. 1e3 -.5e-1 .25 -7", "INT:12 FLOAT:12.000000 FLOAT:12.000000 FLOAT:1000.000000 "
                                          "FLOAT:-0.050000 FLOAT:0.250000 INT:-7"},
        {"0x0f0 0x00ff00 0xFFF 0xabcd", "HEX4:240 HEX8:65280 HEX4:4095 HEX8:43981"},
        {"nff s8 NFF S8 nff. version2", "NFF NFF IDENT:NFF IDENT:S8 IDENT:nff. IDENT:version2"},
        {"id=3 +5", "ID '=' INT:3 '+' INT:5"},
        {"1a 0e 1.5x 0x 0X1f 0x1g", "IDENT:1a IDENT:0e IDENT:1.5x IDENT:0x IDENT:0X1f IDENT:0x1g"},
        {"_1 _ _ab __ -a_1 - -1", "IDENT:_1 IDENT:_ UNAME UNAME MNAME '-' INT:-1"},
        {"// nff rot\nrot // x\r\n a:b.c", "ROT IDENT:a:b.c"},
        {"1e999 -1e999 1e-999 99999999999", "FLOAT:inf FLOAT:-inf FLOAT:0.000000 INT:2147483647"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
    // A NUL byte is no end of input.
    EXPECT_EQ(Tokens(std::string("a\0b", 3)), "IDENT:a UNDEF IDENT:b");
}

TEST(WtkScanner, EveryLineEndCountsOnce)
{
    EXPECT_EQ(Tokens("a\r\nb\rc\n\rd\n\ne // x\r\nf\n", true), "IDENT:a@1 IDENT:b@2 IDENT:c@3 IDENT:d@4 "
                                                             "IDENT:e@6 IDENT:f@7");
    CRecordingModel model;
    std::string text;
    for (int i = 0; i < 250; ++i)
        text += "x\n";
    Tokens(text, false, &model);
    EXPECT_EQ(model.status, (std::vector<std::string>{"Reading Line 100", "Reading Line 200"}));
}

}  // namespace
