#include "ObjSaveAhead.h"

#include <sys/stat.h>

#include <system_error>

#include "Formats.h"
#include "Writers.h"

CObjSaveAhead::CObjSaveAhead(const std::string& path, CTemporaryFiles* track) : m_path(path), m_track(track), m_out(track)
{
    // Only a file that is replaced when the save succeeds may be written this
    // early: a device or a pipe would receive lines of a load that may fail
    // yet, and opening a pipe waits for its reader.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return;
    m_opened = m_out.Open(path, FindFormat("obj")->writeMode);
}

CObjSaveAhead::~CObjSaveAhead()
{
    Wait();
}

void CObjSaveAhead::Wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void CObjSaveAhead::Start(const CModel& model)
{
    if (!m_opened || m_started)
        return;
    m_started = true;
    m_vertexCount = model.GetVertexCount();
    m_moves = model.VertexMoves();
    m_scale = model.m_scale;
    auto write = [this, &model] { m_written = WriteObjVertices(model, m_out.Stream(), m_scale); };
    try {
        m_thread = std::thread(write);
    } catch (const std::system_error&) {
        write();
    }
}

bool CObjSaveAhead::Finish(CModel& model, const std::function<void()>& meanwhile)
{
    Wait();
    const bool stands = m_written && model.GetVertexCount() == m_vertexCount && model.VertexMoves() == m_moves &&
                        model.m_scale == m_scale;
    if (!stands) {
        m_out.Abandon();
        return WriteModelFile(model, *FindFormat("obj"), m_path, m_track, meanwhile);
    }
    if (WriteObjAfterVertices(model, m_out.Stream(), m_scale) <= 0)
        return false;  // the writer has said why; the old file stays
    return CommitSave(model, m_out, meanwhile);
}
