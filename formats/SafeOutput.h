#pragma once

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

// The temporary files of saves under way, so that a program stopped by a
// signal can remove them. A temporary file is listed from its creation until
// it is renamed into place or removed, both under the lock, so whoever holds
// the lock sees each save either unfinished (its temporary listed) or done.
class CTemporaryFiles
{
public:
    std::mutex& Lock() { return m_lock; }
    // Unlinks every listed file. The caller holds the lock, and keeps it when
    // the program is about to end so that no save completes afterwards.
    void RemoveAllLocked();

private:
    friend class CSafeOutput;
    std::mutex m_lock;
    std::set<std::string> m_names;
};

// An output file that replaces its target only on success. Writing goes to a
// temporary file in the target's folder; Commit renames it over the target.
// A link is followed and the file it names replaced; a target the user may
// not write is refused. Targets that are not regular files (/dev/null, a pipe)
// are written directly.
class CSafeOutput
{
public:
    CSafeOutput(const CSafeOutput&) = delete;
    CSafeOutput& operator=(const CSafeOutput&) = delete;
    explicit CSafeOutput(CTemporaryFiles* track = nullptr) : m_track(track) {}
    ~CSafeOutput() { Abandon(); }

    bool Open(const std::string& path, const char* mode);
    FILE* Stream() const { return m_fp; }
    // Flushes and closes; on success moves the result into place. False when
    // any of that failed, in which case the target is as it was.
    bool Commit();
    // Closes and removes the temporary file.
    void Abandon();

private:
    void RemoveTemporary();

    FILE* m_fp = nullptr;
    int m_fd = -1;  // the temporary file's descriptor while it is open
    std::string m_target;
    std::string m_temporary;  // empty when writing the target directly
    CTemporaryFiles* m_track = nullptr;
};
