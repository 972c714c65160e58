#include "WtkBuilder.h"

#include <cfloat>
#include <cmath>
#include <memory>
#include <new>

namespace {

// Coordinates beyond the range of float become infinities rather than an
// undefined conversion.
float ToFloat(double value)
{
    if (value > FLT_MAX)
        return HUGE_VALF;
    if (value < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(value);
}

struct CFileCloser
{
    void operator()(FILE* fp) const { std::fclose(fp); }
};

}  // namespace

bool CWtkBuilder::FailMemory()
{
    m_outOfMemory = true;
    return false;
}

bool CWtkBuilder::StartObject(const char* name)
{
    m_vertices.clear();
    m_numbers.Reset();
    m_corners.clear();
    try {
        m_objectName = name ? name : "";
    } catch (const std::bad_alloc&) {
        return FailMemory();
    }
    m_model.SetGroup(m_objectName.c_str(), 0, 0);
    m_lastColorValid = false;
    m_table = nullptr;
    return true;
}

bool CWtkBuilder::UseMaterialTable(const char* name)
{
    try {
        auto [at, added] = m_tables.try_emplace(name ? name : "");
        m_table = &*at;
        if (!added)
            return true;
        const std::string& tableName = at->first;
        CTable& table = at->second;
        std::unique_ptr<FILE, CFileCloser> fp(m_opener ? m_opener(tableName) : nullptr);
        if (!fp) {
            m_model.WarningMessage("Material table %s not found; its materials take the default colour",
                                   tableName.c_str());
            return true;
        }
        int line = 0;
        table.read = ReadWtkMaterials(fp.get(), table.materials, line);
        if (!table.read) {
            table.materials.clear();
            m_model.WarningMessage("Material table %s is damaged at line %d; its materials take the default colour",
                                   tableName.c_str(), line);
        }
    } catch (const std::bad_alloc&) {
        return FailMemory();
    }
    return true;
}

void CWtkBuilder::SetPolygonMaterial(int32_t id)
{
    static const CWtkMaterial kDefault;
    const CWtkMaterial* material = &kDefault;
    if (!m_table) {
        if (!m_reportedNoTable)
            m_model.WarningMessage("Material %d used without a material table; it takes the default colour", id);
        m_reportedNoTable = true;
    } else {
        CTable& table = m_table->second;
        if (id >= 0 && static_cast<size_t>(id) < table.materials.size()) {
            material = &table.materials[static_cast<size_t>(id)];
        } else if (table.read && !table.reportedId) {
            // A table already reported as missing or damaged says no more.
            m_model.WarningMessage("Material %d is not in material table %s; it takes the default colour", id,
                                   m_table->first.c_str());
            table.reportedId = true;
        }
    }
    for (int i = 0; i < 3; ++i)
        m_color[i] = material->color[i];
}

bool CWtkBuilder::AddVertex(double x, double y, double z)
{
    try {
        m_vertices.emplace_back(ToFloat(x), ToFloat(y), ToFloat(z));
    } catch (const std::bad_alloc&) {
        return FailMemory();
    }
    return true;
}

bool CWtkBuilder::AddCorner(int32_t index)
{
    try {
        m_corners.push_back(index);
    } catch (const std::bad_alloc&) {
        return FailMemory();
    }
    return true;
}

void CWtkBuilder::SetPolygonColor(uint32_t value, bool longForm)
{
    if (longForm) {
        m_color[0] = static_cast<float>((value >> 16) & 255) * 0.00390625f;
        m_color[1] = static_cast<float>((value >> 8) & 255) * 0.00390625f;
        m_color[2] = static_cast<float>(value & 255) * 0.00390625f;
    } else {
        m_color[0] = static_cast<float>((value >> 8) & 15) * 0.0625f;
        m_color[1] = static_cast<float>((value >> 4) & 15) * 0.0625f;
        m_color[2] = static_cast<float>(value & 15) * 0.0625f;
    }
}

bool CWtkBuilder::EndPolygon()
{
    if (!m_lastColorValid || m_lastColor[0] != m_color[0] || m_lastColor[1] != m_color[1] ||
        m_lastColor[2] != m_color[2]) {
        int k = NearestColor(m_color[0], m_color[1], m_color[2]);
        try {
            std::string name = m_objectName + "_" + ColorTable[k].name;
            m_model.SetGroup(name.c_str(), k, 0);
        } catch (const std::bad_alloc&) {
            return FailMemory();
        }
        for (int i = 0; i < 3; ++i)
            m_lastColor[i] = m_color[i];
        m_lastColorValid = true;
    }
    // The fan turns against the file's corner order.
    const int64_t count = static_cast<int64_t>(m_vertices.size());
    auto exists = [count](int32_t i) { return i >= 0 && i < count; };
    for (size_t k = 2; k < m_corners.size(); ++k) {
        int32_t a = m_corners[k], b = m_corners[k - 1], c = m_corners[0];
        if (!exists(a) || !exists(b) || !exists(c)) {
            ++m_skipped;
            continue;
        }
        m_numbers.AddTriangle(static_cast<size_t>(a), static_cast<size_t>(b), static_cast<size_t>(c));
    }
    m_corners.clear();
    return true;
}

void CWtkBuilder::EndFile()
{
    m_vertices.clear();
    m_numbers.Reset();
    m_corners.clear();
}
