#pragma once

#include <functional>
#include <string>
#include <thread>

#include "Model.h"
#include "SafeOutput.h"

// An OBJ save begun before the model is ready. Its vertex lines need nothing
// but the placed vertices, so they are written on a thread of their own as
// soon as the load has placed them (Start, from the model's VerticesPlaced),
// and reach the disk while the load finishes; Finish writes the rest and
// puts the file in place. Where the vertices have moved since, or were not
// written ahead, Finish saves afresh as WriteModelFile does. A save that is
// not finished leaves no file behind.
class CObjSaveAhead
{
public:
    CObjSaveAhead(const std::string& path, CTemporaryFiles* track);
    ~CObjSaveAhead();
    CObjSaveAhead(const CObjSaveAhead&) = delete;
    CObjSaveAhead& operator=(const CObjSaveAhead&) = delete;

    // Writes the vertex lines, once; may be called on any thread.
    void Start(const CModel& model);
    // Waits until they are written: anything that may change the model
    // waits first.
    void Wait();
    // The save, reported as WriteModelFile reports it, `meanwhile` included.
    bool Finish(CModel& model, const std::function<void()>& meanwhile = {});

private:
    const std::string m_path;
    CTemporaryFiles* const m_track;
    CSafeOutput m_out;
    bool m_opened = false;
    bool m_started = false;
    std::thread m_thread;
    bool m_written = false;  // by the thread, read once it has ended
    // What the lines were written from.
    int m_vertexCount = 0;
    unsigned m_moves = 0;
    float m_scale = 0.0f;
};
