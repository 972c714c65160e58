#include "SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <mutex>
#include <new>
#include <thread>

namespace {

// Opens a new file named `stem` plus a random suffix, failing rather than
// touching a file that is already there. The mode 0666 lets the process's
// umask decide the permissions, as it would for fopen; reading the umask
// instead would mean changing it, which other threads would see.
int CreateUnique(const std::string& stem, std::string& name)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    // Clock, process, thread and stack address keep names of concurrent saves
    // apart; O_EXCL settles any clash that remains.
    uint64_t state = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                     (static_cast<uint64_t>(::getpid()) << 32) ^
                     static_cast<uint64_t>(std::hash<std::thread::id>()(std::this_thread::get_id())) ^
                     reinterpret_cast<uintptr_t>(&name);
    auto next = [&state] {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem;
        uint64_t bits = next();
        for (int i = 0; i < 8; ++i, bits /= sizeof kLetters - 1)
            name += kLetters[bits % (sizeof kLetters - 1)];
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The temporary file's stream. Its blocks are sent on to the disk every
// megabyte while the writer goes on, so that the flush before the file takes
// the target's place waits only for the last of them; waiting for all of
// them took up to a tenth of a large conversion.
struct CWriteBack
{
    int fd;
    off_t at = 0;    // where the next write goes
    off_t sent = 0;  // everything before this has been sent on
};

constexpr off_t kWriteBackBytes = off_t{1} << 20;

ssize_t WriteBackWrite(void* cookie, const char* data, size_t size)
{
    auto* file = static_cast<CWriteBack*>(cookie);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(file->fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    file->at += static_cast<off_t>(done);
#ifdef __linux__
    if (file->at - file->sent >= kWriteBackBytes) {
        ::sync_file_range(file->fd, file->sent, file->at - file->sent, SYNC_FILE_RANGE_WRITE);
        file->sent = file->at;
    }
#endif
    // A short count marks the stream failed.
    return done > 0 || size == 0 ? static_cast<ssize_t>(done) : -1;
}

// Writers that patch sizes in afterwards move back and forth; what they
// rewrite is flushed with the rest at the end.
int WriteBackSeek(void* cookie, off64_t* offset, int whence)
{
    auto* file = static_cast<CWriteBack*>(cookie);
    const off_t at = ::lseek(file->fd, *offset, whence);
    if (at < 0)
        return -1;
    *offset = file->at = at;
    return 0;
}

int WriteBackClose(void* cookie)
{
    auto* file = static_cast<CWriteBack*>(cookie);
    const int result = ::close(file->fd);
    delete file;
    return result;
}

// Writing costs a system call per 64 KiB.
FILE* OpenBuffered(int fd, const char* mode)
{
    auto* cookie = new (std::nothrow) CWriteBack{fd};
    if (!cookie)
        return nullptr;
    FILE* fp = ::fopencookie(cookie, mode, {nullptr, WriteBackWrite, WriteBackSeek, WriteBackClose});
    if (!fp) {
        delete cookie;
        return nullptr;
    }
    std::setvbuf(fp, nullptr, _IOFBF, 1u << 16);
    return fp;
}

}  // namespace

bool CSafeOutput::Open(const std::string& path, const char* mode)
{
    Abandon();
    m_target = path;
    // Saving through a link replaces the file it points to and keeps the link.
    struct stat link;
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            m_target = resolved;
            std::free(resolved);
        }
    }
    struct stat st;
    bool exists = ::stat(m_target.c_str(), &st) == 0;
    if (!exists && ::lstat(m_target.c_str(), &link) == 0) {
        // A link to nothing: writing through it creates what it points to.
        m_fp = std::fopen(m_target.c_str(), mode);
        return m_fp != nullptr;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        m_fp = std::fopen(m_target.c_str(), mode);
        return m_fp != nullptr;
    }
    // A file the user may not write stays as it is, as it would if it were
    // opened for writing in place.
    if (exists && ::access(m_target.c_str(), W_OK) != 0)
        return false;

    // The temporary file lives in the target's folder so that renaming it is
    // atomic; its name is kept short enough for the folder to take it.
    size_t slash = m_target.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : m_target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    if (base.size() > 200)
        base.resize(200);
    int fd;
    if (m_track) {
        std::lock_guard<std::mutex> lock(m_track->m_lock);
        fd = CreateUnique(folder + "." + base + ".tmp-", m_temporary);
        if (fd >= 0)
            m_track->m_names.insert(m_temporary);
    } else {
        fd = CreateUnique(folder + "." + base + ".tmp-", m_temporary);
    }
    if (fd < 0) {
        m_temporary.clear();
        return false;
    }
    if (exists) {
        // The replacement keeps the old file's owner and permissions where the
        // system lets us; failing that it is still ours to write.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only the owner's group or root may change it.
        }
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            // Not fatal: the file keeps the umask's permissions.
        }
    }
    m_fp = OpenBuffered(fd, mode);
    if (!m_fp) {
        ::close(fd);
        RemoveTemporary();
        return false;
    }
    m_fd = fd;
    return true;
}

void CSafeOutput::RemoveTemporary()
{
    if (m_temporary.empty())
        return;
    std::unique_lock<std::mutex> lock;
    if (m_track)
        lock = std::unique_lock<std::mutex>(m_track->m_lock);
    ::unlink(m_temporary.c_str());
    if (m_track)
        m_track->m_names.erase(m_temporary);
    m_temporary.clear();
}

bool CSafeOutput::Commit()
{
    if (!m_fp)
        return false;
    bool ok = std::fflush(m_fp) == 0 && !std::ferror(m_fp);
    if (ok && !m_temporary.empty())
        ok = ::fsync(m_fd) == 0;
    ok = std::fclose(m_fp) == 0 && ok;
    m_fp = nullptr;
    m_fd = -1;
    if (m_temporary.empty())
        return ok;
    if (ok) {
        std::unique_lock<std::mutex> lock;
        if (m_track)
            lock = std::unique_lock<std::mutex>(m_track->m_lock);
        ok = std::rename(m_temporary.c_str(), m_target.c_str()) == 0;
        if (ok) {
            if (m_track)
                m_track->m_names.erase(m_temporary);
            m_temporary.clear();
        }
    }
    RemoveTemporary();
    return ok;
}

void CSafeOutput::Abandon()
{
    if (m_fp) {
        std::fclose(m_fp);
        m_fp = nullptr;
    }
    m_fd = -1;
    RemoveTemporary();
}

void CTemporaryFiles::RemoveAllLocked()
{
    for (const std::string& name : m_names)
        ::unlink(name.c_str());
    m_names.clear();
}
