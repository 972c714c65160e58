// Real closed models come out with their fronts and normals facing outward:
// judged from the written files alone, the way a viewer reads them.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "TextReaders.h"
#include "Writers.h"

namespace {

struct CFaceCheck
{
    double volume = 0.0;  // six times the volume enclosed, counter-clockwise fronts counting positive
    int corners = 0;      // corners that carry a normal
    int opposed = 0;      // of them, those whose normal points behind the face's front

    // A triangle whose front is the counter-clockwise side, with optional
    // corner normals.
    void Add(const CVector& a, const CVector& b, const CVector& c, const CVector* normals = nullptr)
    {
        volume += a.Dot(b.Cross(c));
        if (!normals)
            return;
        CVector front = (b - a).Cross(c - a);
        for (int i = 0; i < 3; ++i) {
            ++corners;
            if (normals[i].Dot(front) < 0.0f)
                ++opposed;
        }
    }
};

CVector ReadVector(std::istream& in)
{
    CVector v;
    in >> v.x >> v.y >> v.z;
    return v;
}

// "v", "vn" and "f a//a b//b c//c ..." lines; faces fan out from corner 0.
CFaceCheck CheckObj(const std::string& text)
{
    CFaceCheck check;
    std::vector<CVector> v, vn;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "v")
            v.push_back(ReadVector(in));
        else if (key == "vn")
            vn.push_back(ReadVector(in));
        else if (key == "f") {
            std::vector<int> corners;
            for (std::string corner; in >> corner;)
                corners.push_back(std::stoi(corner) - 1);
            for (size_t k = 2; k < corners.size(); ++k) {
                const int at[3] = {corners[0], corners[k - 1], corners[k]};
                const CVector normals[3] = {vn.at(at[0]), vn.at(at[1]), vn.at(at[2])};
                check.Add(v.at(at[0]), v.at(at[1]), v.at(at[2]), normals);
            }
        }
    }
    return check;
}

// Every Separator's "point [" list and "coordIndex [" triangles; a clockwise
// vertexOrdering turns the fronts around.
CFaceCheck CheckVrml(const std::string& text)
{
    CFaceCheck check;
    double sign = text.find("vertexOrdering CLOCKWISE") != std::string::npos ? -1.0 : 1.0;
    std::vector<CVector> points;
    std::istringstream lines(text);
    enum { kNone, kPoints, kIndices } list = kNone;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("point [") != std::string::npos) {
            points.clear();
            list = kPoints;
        } else if (line.find("coordIndex [") != std::string::npos) {
            list = kIndices;
        } else if (line.find(']') != std::string::npos) {
            list = kNone;
        } else if (list != kNone) {
            for (char& ch : line)
                if (ch == ',')
                    ch = ' ';
            std::istringstream in(line);
            if (list == kPoints) {
                points.push_back(ReadVector(in));
            } else {
                int a, b, c;
                in >> a >> b >> c;
                check.Add(points.at(a), points.at(b), points.at(c));
            }
        }
    }
    check.volume *= sign;
    return check;
}

// "pp 3" triangles: three lines of position and normal each.
CFaceCheck CheckNff(const std::string& text)
{
    CFaceCheck check;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        if (word != "pp")
            continue;
        int count = 0;
        in >> count;
        EXPECT_EQ(count, 3);
        CVector corner[3], normal[3];
        for (int i = 0; i < 3; ++i) {
            corner[i] = ReadVector(in);
            normal[i] = ReadVector(in);
        }
        check.Add(corner[0], corner[1], corner[2], normal);
    }
    return check;
}

}  // namespace

TEST(OutwardOutput, ClosedCorpusModelsFaceOutwardInVrmlObjAndNff)
{
    TRIVEX_REQUIRE_CORPUS("raw");
    struct Case {
        const char* file;
        int (*read)(CModel&, FILE*);
    };
    const Case cases[] = {{"raw/ckinvents_gear.raw", ReadRaw}, {"obj/spider.obj", ReadObj}};
    for (const Case& c : cases) {
        CModel model;
        FILE* fp = std::fopen(testfiles::CorpusDir(c.file).string().c_str(), "r");
        ASSERT_NE(fp, nullptr) << c.file;
        ASSERT_EQ(c.read(model, fp), 1) << c.file;
        std::fclose(fp);
        // Smooth groups make the OBJ and NFF writers carry vertex normals.
        for (int g = 0; g < model.GetGroupCount(); ++g)
            model.GetGroup(g)->smooth = 1;

        const CFaceCheck vrml = CheckVrml(testfiles::WriteToString(WriteVrml, model, model.m_scale));
        EXPECT_GT(vrml.volume, 0.0) << c.file;

        const CFaceCheck obj = CheckObj(testfiles::WriteToString(WriteObj, model, model.m_scale));
        EXPECT_GT(obj.volume, 0.0) << c.file;
        ASSERT_GT(obj.corners, 100) << c.file;
        // Creases sharper than a right angle (the spider's thin legs) leave
        // some corners' normals behind one of their faces, but few: turned
        // inward, nine in ten would be.
        EXPECT_LT(obj.opposed, obj.corners / 10) << c.file << ": " << obj.opposed << " of " << obj.corners;

        const CFaceCheck nff = CheckNff(testfiles::WriteToString(WriteNff, model, model.m_scale));
        EXPECT_GT(nff.volume, 0.0) << c.file;
        ASSERT_GT(nff.corners, 100) << c.file;
        EXPECT_LT(nff.opposed, nff.corners / 10) << c.file << ": " << nff.opposed << " of " << nff.corners;
    }
}
