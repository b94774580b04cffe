// SPDX-License-Identifier: GPL-3.0-or-later
// POSIX side of SafeSave.h; SafeSaveWin.cpp is the Windows side.
#ifndef _WIN32
#include "base/SafeSave.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/FileError.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinkHops = 40;  // as the kernel allows when it resolves a path

FileError Fail(TFileAction action, const std::string& full, int error, bool fifoUnread = false) {
    TFileReason reason = ErrnoReason(error);
    if (fifoUnread) {
        reason.English += " (nothing reads the FIFO)";
        reason.Polish += " (nikt nie czyta z tego potoku)";
    }
    return FileError(action, full, reason);
}

// The name that is finally written: symbolic links followed one by one, so that
// a link whose target does not exist yet names the file to create. Returns -1 or
// the errno of a link that cannot be followed.
int Resolve(fs::path& name) {
    for (int hops = 0;; ++hops) {
        struct stat st{};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return -1;
        if (hops >= kMaxLinkHops) return ELOOP;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(name.c_str(), buf, sizeof buf);
        if (n < 0) return errno;
        if (static_cast<size_t>(n) >= sizeof buf) return ENAMETOOLONG;
        const fs::path target(std::string(buf, static_cast<size_t>(n)));
        name = target.is_absolute() ? target : name.parent_path() / target;
    }
}

// All bytes, or the errno of the failure.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (put == 0) return EIO;
        done += static_cast<size_t>(put);
    }
    return 0;
}

// Writes into the file that stands at `name`, keeping it what it is: a device or
// FIFO gets the bytes, a plain file is overwritten and cut to their length.
void WriteInPlace(const fs::path& name, const std::string& full, std::span<const uint8_t> bytes) {
    // Non-blocking, so that a FIFO nobody reads fails at once instead of hanging;
    // no following, so that a link put in its place since it was looked at is refused.
    const int fd = ::open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        const int error = errno;
        struct stat st{};
        const bool fifo = ::lstat(name.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
        throw Fail(TFileAction::Write, full, error, fifo && error == ENXIO);
    }
    auto fail = [&](int error) {
        ::close(fd);
        return Fail(TFileAction::Write, full, error);
    };
    struct stat st{};
    if (::fstat(fd, &st) != 0) throw fail(errno);
    if (S_ISDIR(st.st_mode)) throw fail(EISDIR);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) throw fail(errno);
    if (const int error = WriteAll(fd, bytes)) throw fail(error);
    if (S_ISREG(st.st_mode)) {
        if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) throw fail(errno);
        if (::fsync(fd) != 0) throw fail(errno);
    }
    if (::close(fd) != 0) throw Fail(TFileAction::Write, full, errno);
}

// Writes a fresh file beside `name` and renames it over `name`. `old` describes
// the plain file being replaced, or is null when there is none.
void Replace(const fs::path& name, const std::string& full, std::span<const uint8_t> bytes,
             const struct stat* old) {
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = (name.parent_path() / ("." + name.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                                      std::to_string(counter++)))
                   .string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) break;
        const int error = errno;
        if (error == EEXIST && attempt < 100) continue;
        // A folder that takes no new files may still hold a file we can write.
        if (old != nullptr && (error == EACCES || error == EPERM) && ::access(name.c_str(), W_OK) == 0)
            return WriteInPlace(name, full, bytes);
        throw Fail(TFileAction::Create, full, error);
    }
    auto abandon = [&](int error) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        return Fail(TFileAction::Write, full, error);
    };
    if (old != nullptr) {
        // The replaced file's owner where we may set it (as root), and its permissions.
        if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // Not ours to give away: the new file stays ours.
        }
        if (::fchmod(fd, old->st_mode & 07777) != 0) throw abandon(errno);
    }
    if (const int error = WriteAll(fd, bytes)) throw abandon(error);
    if (::fsync(fd) != 0) throw abandon(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) throw abandon(errno);
    if (::rename(temp.c_str(), name.c_str()) != 0) throw abandon(errno);

    // Make the rename itself durable; a failure here loses nothing already written.
    const int dir = ::open(name.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

void SaveFileBytes(const fs::path& path, std::span<const uint8_t> bytes) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const std::string full = (ec ? path : absolute).string();
    if (path.empty() || !path.has_filename()) throw Fail(TFileAction::Create, full, ENOENT);

    fs::path name(full);
    if (const int error = Resolve(name); error >= 0) throw Fail(TFileAction::Create, full, error);

    struct stat st{};
    if (::lstat(name.c_str(), &st) != 0) return Replace(name, full, bytes, nullptr);
    if (S_ISDIR(st.st_mode)) throw Fail(TFileAction::Create, full, EISDIR);
    if (S_ISREG(st.st_mode)) return Replace(name, full, bytes, &st);
    WriteInPlace(name, full, bytes);
}

}  // namespace vyx
#endif
