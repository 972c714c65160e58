#include <cmath>
#include <string>
#include <thread>

#include "ReaderTestSupport.h"

using readertest::ReadText;

using testfiles::GroupNames;

namespace {

struct CNamedReader
{
    const char* name;
    readertest::Reader read;
};

const CNamedReader kReaders[] = {
    {"obj", ReadObj}, {"raw", ReadRaw}, {"tpoly", ReadTpoly}, {"aoff", ReadAoff}, {"nff", ReadNff},
};

// Random and mutated input is the fuzz targets' work; these are the numbers
// that must not turn into undefined conversions anywhere in a load.
TEST(ReaderRobustness, NonFiniteAndOverflowingNumbers)
{
    const char* const numbers[] = {"1e999", "-1e999", "nan", "inf", "-infinity", "1e-400", "3.4e38", "-0"};
    for (const CNamedReader& reader : kReaders) {
        for (const char* number : numbers) {
            std::string n = number;
            const std::string texts[] = {
                "v " + n + " 0 0\nv 1 " + n + " 0\nv 0 1 0\nv 2 2 " + n + "\nf 1 2 3 4 1\n",
                n + " 0 0 1 " + n + " 0 0 1 " + n + "\n",
                "3 " + n + " 0 0 1 0 0 0 1 " + n + "\n",
                "4 1\n" + n + " 0 0\n1 0 0\n0 " + n + " 0\n0 1 0\n4 1 2 3 4\n",
                "p 5\n" + n + " 0 0\n1 0 0\n0 1 " + n + "\n0 1 0\n1 1 1\nf " + n + " 1 0 0 0 0 0 0\np 3\n0 0 0\n1 0 0\n" +
                    n + " 1 0\n",
            };
            for (const std::string& text : texts) {
                CRecordingModel model;
                int result = ReadText(reader.read, model, text);
                EXPECT_TRUE(result == 1 || result == 0 || result == -1) << reader.name << ": " << text;
            }
        }
    }
}

TEST(ReaderRobustness, ByteOrderMarkIsNotText)
{
    // Each file's first line carries geometry or a name that the mark would spoil.
    const char* const texts[] = {
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
        "0 0 0 1 0 0 0 1 0\nlid\n0 0 1 1 0 1 0 1 1\n",
        "3 0 0 0 1 0 0 0 1 0\n",
        "3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 1 2 3\n",
        "f 0 0 1 0.5 0.5 3 0 1\np 3\n0 0 0\n1 0 0\n0 1 0\n",
    };
    for (size_t i = 0; i < std::size(kReaders); ++i) {
        CRecordingModel plain, marked;
        ASSERT_EQ(ReadText(kReaders[i].read, plain, texts[i]), 1) << kReaders[i].name;
        EXPECT_EQ(ReadText(kReaders[i].read, marked, std::string("\xEF\xBB\xBF") + texts[i]), 1) << kReaders[i].name;
        EXPECT_GT(plain.GetPolygonCount(), 0) << kReaders[i].name;
        EXPECT_EQ(readertest::AllFaces(marked), readertest::AllFaces(plain)) << kReaders[i].name;
        EXPECT_EQ(GroupNames(marked), GroupNames(plain)) << kReaders[i].name;
        EXPECT_TRUE(marked.errors.empty()) << kReaders[i].name;
    }
    // A mark alone is an empty file.
    CRecordingModel aoff;
    EXPECT_EQ(ReadText(ReadAoff, aoff, "\xEF\xBB\xBF"), 0);
    EXPECT_EQ(aoff.errors, std::vector<std::string>{"Premature EOF on line 1"});
}

TEST(ReaderRobustness, TwoModelsReadAtOnce)
{
    // Readers keep their state per call: two threads reading different
    // files get what each gets alone.
    std::string big, other;
    for (int i = 0; i < 3000; ++i) {
        big += "v " + std::to_string(i) + " " + std::to_string(i % 17) + " 0\n";
        other += std::to_string(i) + " 0 0 " + std::to_string(i) + " 1 0 " + std::to_string(i) + " 0 1\n";
    }
    for (int i = 3; i <= 3000; ++i)
        big += "f " + std::to_string(i - 2) + " " + std::to_string(i - 1) + " " + std::to_string(i) + "\n";
    CRecordingModel first, second;
    std::thread a([&] { ReadText(ReadObj, first, big); });
    std::thread b([&] { ReadText(ReadRaw, second, other); });
    a.join();
    b.join();
    CRecordingModel firstAlone, secondAlone;
    ReadText(ReadObj, firstAlone, big);
    ReadText(ReadRaw, secondAlone, other);
    EXPECT_EQ(readertest::AllFaces(first), readertest::AllFaces(firstAlone));
    EXPECT_EQ(readertest::AllFaces(second), readertest::AllFaces(secondAlone));
    EXPECT_EQ(first.status, firstAlone.status);
    EXPECT_EQ(second.GetVertexCount(), secondAlone.GetVertexCount());
}

}  // namespace
