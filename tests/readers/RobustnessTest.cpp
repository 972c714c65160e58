#include <cmath>
#include <random>
#include <string>
#include <thread>

#include "ReaderTestSupport.h"

using readertest::ReadText;

namespace {

struct CNamedReader
{
    const char* name;
    readertest::Reader read;
};

const CNamedReader kReaders[] = {
    {"obj", ReadObj}, {"raw", ReadRaw}, {"tpoly", ReadTpoly}, {"aoff", ReadAoff}, {"nff", ReadNff},
};

// Small valid samples of every format, the seeds for the mutations below.
const char* const kSamples[] = {
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\ng a\nf 1 2 3 4\nf -1 -2 -3\n",
    "grp\n0 0 0 1 0 0 0 1 0\n\"q r\"\n1 1 1 2 1 1 1 2 1\n",
    "3 0 0 0 1 0 0 0 1 0\n3 1 1 1 2 1 1 1 2 1\n",
    "4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 1 2 3 4\n3 1 2 4\n",
    "v\nfrom 0 0 1\nat 0 0 0\nup 0 1 0\nangle 45\nhither 1\nresolution 9 9\nf 1 0 0 1 1 1 0 0\n"
    "p 5\n0 0 0\n2 1 0\n0 0.5 0\n-2 1 0\n0 3 0\npp 3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n",
};

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

TEST(ReaderRobustness, MutatedAndRandomInputsEndCleanly)
{
    std::mt19937 random(20240611);
    static constexpr char kAlphabet[] = "0123456789 \n\t\r-+.eEvfgpl#\"/\0\xff";
    const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    for (const CNamedReader& reader : kReaders) {
        for (int round = 0; round < 300; ++round) {
            std::string text = kSamples[random() % std::size(kSamples)];
            int edits = 1 + static_cast<int>(random() % 8);
            for (int e = 0; e < edits && !text.empty(); ++e) {
                size_t at = random() % text.size();
                switch (random() % 3) {
                case 0:
                    text[at] = alphabet[random() % alphabet.size()];
                    break;
                case 1:
                    text.erase(at, 1 + random() % 4);
                    break;
                default:
                    text.insert(at, std::string(1 + random() % 3, alphabet[random() % alphabet.size()]));
                    break;
                }
            }
            if (round % 10 == 0) {
                text.resize(64 + random() % 512);
                for (char& c : text)
                    c = static_cast<char>(random());
            }
            CRecordingModel model;
            int result = ReadText(reader.read, model, text);
            ASSERT_TRUE(result == 1 || result == 0 || result == -1) << reader.name;
            // What was read is centred and inside the unit sphere.
            if (result == 1 && model.GetPolygonCount() > 0) {
                model.ComputeRange();
                for (int i = 0; i < 3; ++i) {
                    if (std::isfinite(model.m_max[i]) && std::isfinite(model.m_min[i])) {
                        EXPECT_LE(model.m_max[i] - model.m_min[i], 2.0f + 1e-5f) << reader.name;
                    }
                }
            }
        }
    }
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
