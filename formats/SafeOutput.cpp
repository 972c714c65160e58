#include "SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
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

#if defined(__linux__) && defined(__GLIBC__)
// The temporary file's stream. Every megabyte or so a second thread asks the
// system to put what was written so far on disk, while the writer goes on, so
// that the fsync before the rename waits for the last piece only. Starting the
// writeback alone (sync_file_range) is not enough: on a virtual disk the host
// only stores the data when the guest asks for a flush, and that flush is most
// of the fsync's time.
class CWriteBehind
{
public:
    explicit CWriteBehind(int fd) : m_fd(fd) {}
    CWriteBehind(const CWriteBehind&) = delete;
    CWriteBehind& operator=(const CWriteBehind&) = delete;

    int Descriptor() const { return m_fd; }

    void Written(size_t bytes)
    {
        m_sinceFlush += bytes;
        if (m_sinceFlush < kFlushBytes)
            return;
        m_sinceFlush = 0;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_requested;
        }
        if (!m_flusher.joinable()) {
            try {
                m_flusher = std::thread([this] { Flush(); });
            } catch (const std::system_error&) {
                // Without the thread the fsync at the end does it all.
                return;
            }
        }
        m_wake.notify_one();
    }

    // Stops the flusher and closes the file; -1 when either a flush or the
    // close failed. A failed flush must be reported here: the error it met is
    // not reported again by the fsync that follows on the same descriptor.
    int Close()
    {
        if (m_flusher.joinable()) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_stop = true;
            }
            m_wake.notify_one();
            m_flusher.join();
        }
        const int closed = ::close(m_fd);
        return m_failed || closed != 0 ? -1 : 0;
    }

private:
    static constexpr size_t kFlushBytes = 1u << 20;

    void Flush()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        unsigned done = 0;
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || m_requested != done; });
            if (m_stop)
                return;
            done = m_requested;
            lock.unlock();
            int result;
            do
                result = ::fdatasync(m_fd);
            while (result != 0 && errno == EINTR);
            lock.lock();
            m_failed = m_failed || result != 0;
        }
    }

    const int m_fd;
    size_t m_sinceFlush = 0;
    std::mutex m_lock;
    std::condition_variable m_wake;
    unsigned m_requested = 0;
    bool m_stop = false;
    bool m_failed = false;
    std::thread m_flusher;
};

// The bytes written, fewer on an error (which the stream then reports).
ssize_t WriteBehindWrite(void* cookie, const char* data, size_t size)
{
    auto* file = static_cast<CWriteBehind*>(cookie);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(file->Descriptor(), data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    file->Written(done);
    return static_cast<ssize_t>(done);
}

int WriteBehindSeek(void* cookie, off64_t* offset, int whence)
{
    const off64_t at = ::lseek64(static_cast<CWriteBehind*>(cookie)->Descriptor(), *offset, whence);
    if (at < 0)
        return -1;
    *offset = at;
    return 0;
}

int WriteBehindClose(void* cookie)
{
    auto* file = static_cast<CWriteBehind*>(cookie);
    const int result = file->Close();
    delete file;
    return result;
}

FILE* OpenWriteBehind(int fd, const char* mode)
{
    auto* file = new (std::nothrow) CWriteBehind(fd);
    if (!file)
        return ::fdopen(fd, mode);
    static const cookie_io_functions_t kFunctions = {nullptr, WriteBehindWrite, WriteBehindSeek, WriteBehindClose};
    FILE* fp = ::fopencookie(file, mode, kFunctions);
    if (!fp) {
        delete file;
        return ::fdopen(fd, mode);
    }
    std::setvbuf(fp, nullptr, _IOFBF, 1u << 16);
    return fp;
}
#else
FILE* OpenWriteBehind(int fd, const char* mode)
{
    return ::fdopen(fd, mode);
}
#endif

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
    m_fp = OpenWriteBehind(fd, mode);
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
