#include "SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

bool CSafeOutput::Open(const std::string& path, const char* mode)
{
    Abandon();
    m_target = path;
    struct stat st;
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        m_fp = std::fopen(path.c_str(), mode);
        return m_fp != nullptr;
    }

    std::string pattern = path + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    m_temporary = name.data();
    // Keep the permissions of the file being replaced; a new file gets the
    // usual ones, as fopen would have made it.
    mode_t permissions;
    if (exists) {
        permissions = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        permissions = 0666 & ~mask;
    }
    if (::fchmod(fd, permissions) != 0) {
        // Not fatal: the file is still ours to write.
    }
    m_fp = ::fdopen(fd, mode);
    if (!m_fp) {
        ::close(fd);
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
        return false;
    }
    return true;
}

bool CSafeOutput::Commit()
{
    if (!m_fp)
        return false;
    bool ok = std::fflush(m_fp) == 0 && !std::ferror(m_fp);
    if (ok && !m_temporary.empty())
        ok = ::fsync(::fileno(m_fp)) == 0;
    ok = std::fclose(m_fp) == 0 && ok;
    m_fp = nullptr;
    if (m_temporary.empty())
        return ok;
    if (ok)
        ok = std::rename(m_temporary.c_str(), m_target.c_str()) == 0;
    if (!ok)
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
    return ok;
}

void CSafeOutput::Abandon()
{
    if (m_fp) {
        std::fclose(m_fp);
        m_fp = nullptr;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}
