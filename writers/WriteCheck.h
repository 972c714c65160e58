#pragma once

#include <cstdio>

#include "Model.h"
#include "NumberFormat.h"

// Helpers the exporters share: the final flush that catches what the stream
// buffer hid, a balanced wait cursor, and safe lookups of a group's colour and
// finish.

// The text every exporter shows when the stream refuses output.
inline constexpr char kWriteErrorText[] = "Write Error: Out of Disk Space?";

// Buffered output reaches the file only when the buffer fills or is flushed,
// so on a small file a full disk shows up here and nowhere earlier. False when
// the flush fails or any earlier write on the stream failed.
inline bool FlushChecked(FILE* fp)
{
    bool flushed = std::fflush(fp) == 0;
    return flushed && !std::ferror(fp);
}

// The end every exporter shares: the final flush decides, then either the
// write error or "File Saved" with the document marked unmodified. `ok` says
// whether the writes so far went through. Returns the writer's result.
inline int FinishWrite(CModel& model, FILE* fp, bool ok = true)
{
    if (!ok || !FlushChecked(fp)) {
        model.ErrorMessage("%s", kWriteErrorText);
        return 0;
    }
    model.StatusMessage("File Saved");
    model.SetModified(false);
    return 1;
}

// One BeginWait on construction, the matching EndWait on every way out.
class CWaitCursor
{
public:
    explicit CWaitCursor(CModel& model) : m_model(model) { m_model.BeginWait(); }
    ~CWaitCursor() { m_model.EndWait(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    CModel& m_model;
};

// A group's colour entry. Indices outside the table (a reader that found no
// name gives -1) fall back to the program's default colour, Red, instead of
// reading past the table.
inline const ColorEntry& GroupColor(const CGroup& group)
{
    constexpr int kRed = 96;
    int index = group.colorIndex >= 0 && group.colorIndex < kColorCount ? group.colorIndex : kRed;
    return ColorTable[index];
}

// A group's finish name; out-of-range indices fall back to the default, Shiny.
inline const char* GroupTexture(const CGroup& group)
{
    constexpr int kShiny = 5;
    int index = group.textureIndex >= 0 && group.textureIndex < kTextureCount ? group.textureIndex : kShiny;
    return TextureNames[index];
}
