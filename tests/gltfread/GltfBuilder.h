#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Small glTF files made in the test: buffer views and accessors over one
// buffer, the rest of the JSON written by the test itself.
class CGltfBuilder
{
public:
    // Appends the values, 4-byte aligned, as a buffer view of their own
    // (`stride` 0 leaves byteStride out); returns the view's index.
    template <typename T>
    int View(const std::vector<T>& values, int stride = 0)
    {
        while (m_bin.size() % 4)
            m_bin += '\0';
        const size_t offset = m_bin.size();
        m_bin.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
        std::string view = "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
                           ",\"byteLength\":" + std::to_string(values.size() * sizeof(T));
        if (stride)
            view += ",\"byteStride\":" + std::to_string(stride);
        m_views.push_back(view + "}");
        return static_cast<int>(m_views.size() - 1);
    }

    // An accessor; `more` adds members such as "normalized" or "sparse".
    int Accessor(int view, int componentType, long count, const char* type, const std::string& more = "")
    {
        std::string accessor = "{";
        if (view >= 0)
            accessor += "\"bufferView\":" + std::to_string(view) + ",";
        accessor += "\"componentType\":" + std::to_string(componentType) + ",\"count\":" + std::to_string(count) +
                    ",\"type\":\"" + type + "\"" + more + "}";
        m_accessors.push_back(accessor);
        return static_cast<int>(m_accessors.size() - 1);
    }

    // Float positions as a view and a VEC3 accessor.
    int Positions(const std::vector<float>& xyz) { return Accessor(View(xyz), 5126, long(xyz.size() / 3), "VEC3"); }

    // The JSON with `rest` (meshes, nodes, scenes...) and the buffer as a
    // data: URI, or, for a GLB, without a URI.
    std::string Json(const std::string& rest, bool embedded = true) const
    {
        std::string json = "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":" +
                           std::to_string(m_bin.size());
        if (embedded)
            json += ",\"uri\":\"data:application/octet-stream;base64," + Base64(m_bin) + "\"";
        json += "}],\"bufferViews\":[" + Join(m_views) + "],\"accessors\":[" + Join(m_accessors) + "]";
        return json + (rest.empty() ? "" : "," + rest) + "}";
    }

    std::string Glb(const std::string& rest) const
    {
        std::string json = Json(rest, false);
        while (json.size() % 4)
            json += ' ';
        std::string bin = m_bin;
        while (bin.size() % 4)
            bin += '\0';
        std::string out = "glTF";
        Put(out, 2);
        Put(out, static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
        Put(out, static_cast<uint32_t>(json.size()));
        out += "JSON" + json;
        Put(out, static_cast<uint32_t>(bin.size()));
        out += std::string("BIN\0", 4) + bin;
        return out;
    }

    const std::string& Bin() const { return m_bin; }

private:
    static void Put(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

    static std::string Join(const std::vector<std::string>& parts)
    {
        std::string out;
        for (const std::string& part : parts)
            out += (out.empty() ? "" : ",") + part;
        return out;
    }

    static std::string Base64(const std::string& bytes)
    {
        static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (size_t i = 0; i < bytes.size(); i += 3) {
            uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
            if (i + 1 < bytes.size())
                n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
            if (i + 2 < bytes.size())
                n |= static_cast<unsigned char>(bytes[i + 2]);
            out += kDigits[n >> 18 & 63];
            out += kDigits[n >> 12 & 63];
            out += i + 1 < bytes.size() ? kDigits[n >> 6 & 63] : '=';
            out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
        }
        return out;
    }

    std::string m_bin;
    std::vector<std::string> m_views;
    std::vector<std::string> m_accessors;
};
