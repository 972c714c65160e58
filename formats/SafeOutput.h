#pragma once

#include <cstdio>
#include <string>

// An output file that replaces its target only on success. Writing goes to a
// temporary file in the target's folder; Commit renames it over the target.
// A link is followed and the file it names replaced; a target the user may
// not write is refused. Targets that are not regular files (/dev/null, a pipe)
// are written directly.
class CSafeOutput
{
public:
    CSafeOutput() = default;
    CSafeOutput(const CSafeOutput&) = delete;
    CSafeOutput& operator=(const CSafeOutput&) = delete;
    ~CSafeOutput() { Abandon(); }

    bool Open(const std::string& path, const char* mode);
    FILE* Stream() const { return m_fp; }
    // Flushes and closes; on success moves the result into place. False when
    // any of that failed, in which case the target is as it was.
    bool Commit();
    // Closes and removes the temporary file.
    void Abandon();

private:
    FILE* m_fp = nullptr;
    std::string m_target;
    std::string m_temporary;  // empty when writing the target directly
};
