#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "RecordingModel.h"
#include "TestFiles.h"
#include "TextReaders.h"

namespace readertest {

using Reader = int (*)(CModel&, FILE*);

// Feeds `text` to a reader and checks what every read must leave behind,
// success or not: a balanced wait bracket and, after a failure, an empty model.
inline int ReadText(Reader reader, CRecordingModel& model, const std::string& text)
{
    FILE* fp = testfiles::OpenText(text);
    EXPECT_NE(fp, nullptr);
    if (!fp)
        return -99;
    int result = reader(model, fp);
    std::fclose(fp);
    EXPECT_EQ(model.waitDepth, 0) << "BeginWait/EndWait out of balance";
    if (result != 1) {
        EXPECT_EQ(model.GetGroupCount(), 0) << "a failed read leaves geometry behind";
        EXPECT_EQ(model.GetVertexCount(), 0) << "a failed read leaves geometry behind";
    }
    return result;
}

using Face = std::vector<int32_t>;

// The faces of group g as vertex-number lists, in order.
inline std::vector<Face> Faces(const CModel& model, int g)
{
    std::vector<Face> faces;
    const CGroup* group = model.GetGroup(g);
    if (!group)
        return faces;
    for (int p = 0; p < group->polygons.GetCount(); ++p) {
        const CPolygon* polygon = group->polygons.GetAt(p);
        faces.emplace_back(polygon->index, polygon->index + polygon->count);
    }
    return faces;
}

inline std::vector<Face> AllFaces(const CModel& model)
{
    std::vector<Face> all;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        for (Face& f : Faces(model, g))
            all.push_back(std::move(f));
    return all;
}

inline long Triangles(const CModel& model)
{
    long n = 0;
    for (const Face& f : AllFaces(model))
        n += static_cast<long>(f.size()) - 2;
    return n;
}

inline CVector Vertex(const CModel& model, int32_t number)
{
    const CVector* v = model.m_vertices.GetAt(number - 1);
    EXPECT_NE(v, nullptr) << "vertex " << number;
    return v ? *v : CVector();
}

}  // namespace readertest
