#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Model.h"
#include "WtkMaterials.h"

// Opens a material table by the name a file gives it, or returns null when
// there is no such table; the reader closes what it gets.
using CWtkTableOpener = std::function<FILE*(const std::string& name)>;

// The parser's actions: one vertex list per object, each polygon a fan of
// triangles in a group named after its object and its colour. Operations that
// allocate return false when memory runs out; the parse should then stop.
class CWtkBuilder
{
public:
    CWtkBuilder(CModel& model, CWtkTableOpener opener)
        : m_model(model), m_opener(std::move(opener)), m_numbers(model, m_vertices)
    {
    }

    bool StartObject(const char* name);
    bool AddVertex(double x, double y, double z);
    bool AddCorner(int32_t index);
    // 0xRGB with 4 bits per component, or with `longForm` 0xRRGGBB with 8.
    void SetPolygonColor(uint32_t value, bool longForm);
    // The current object's material table, read on its first use in the file.
    // A table that is missing or damaged is reported once; its materials
    // then take the default colour. False only when memory runs out.
    bool UseMaterialTable(const char* name);
    // The colour of material `id` of the object's table, or the default
    // colour (reported once per table) when there is no such material.
    void SetPolygonMaterial(int32_t id);
    bool EndPolygon();
    void EndFile();

    // Triangles left out because a corner number named no vertex of its object.
    long SkippedTriangles() const { return m_skipped; }
    bool OutOfMemory() const { return m_outOfMemory; }

private:
    bool FailMemory();

    struct CTable
    {
        bool read = false;
        bool reportedId = false;
        std::vector<CWtkMaterial> materials;
    };

    CModel& m_model;
    CWtkTableOpener m_opener;
    std::map<std::string, CTable> m_tables;
    std::map<std::string, CTable>::value_type* m_table = nullptr;  // the current object's
    bool m_reportedNoTable = false;
    std::vector<CVector> m_vertices;
    std::vector<int32_t> m_corners;
    CMeshPoints m_numbers;  // of m_vertices, declared after it
    std::string m_objectName;
    float m_color[3] = {0, 0, 0};
    float m_lastColor[3] = {0, 0, 0};
    bool m_lastColorValid = false;
    long m_skipped = 0;
    bool m_outOfMemory = false;
};
