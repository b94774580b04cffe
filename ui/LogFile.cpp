#include "ui/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "registers/Error.h"
#include "registers/Text.h"

namespace vyx::ui {
namespace fs = std::filesystem;

std::string LogBytes(const std::vector<std::u16string>& lines) {
    std::string out;
    for (const std::u16string& line : lines) out += ToCp1250(line) + "\r\n";
    return out;
}

namespace {

[[noreturn]] void CannotCreate(const fs::path& path, int error) {
    throw Error("Cannot create file \"" + path.string() + "\". " + std::strerror(error));
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file a path names once its links are followed, also a link to nothing yet.
fs::path FollowLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(path, ec)) return path;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

void WriteInPlace(const fs::path& path, const std::string& bytes) {
    // Non-blocking open: a FIFO with no reader fails at once instead of hanging.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) CannotCreate(path, errno);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    const bool ok = WriteAll(fd, bytes);
    const int error = errno;
    ::close(fd);
    if (!ok) CannotCreate(path, error);
}

}  // namespace

void SaveFileBytes(const fs::path& path, const std::string& bytes) {
    const fs::path target = FollowLinks(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return WriteInPlace(target, bytes);

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // A folder that refuses new files may still hold a writable target.
        if (exists) return WriteInPlace(target, bytes);
        CannotCreate(target, errno);
    }
    mode_t mode = 0666;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    (void)::fchmod(fd, mode);
    const bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    ::close(fd);
    if (ok && ::rename(temp.c_str(), target.c_str()) == 0) return;
    if (ok) error = errno;
    ::unlink(temp.c_str());
    CannotCreate(target, error);
}

fs::path LogFilePath(const fs::path& program) {
    fs::path log = program;
    log.replace_extension(".log");
    return log;
}

fs::path StateLogPath(const fs::path& program) {
    fs::path base;
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (state && *state)
        base = state;
    else if (home && *home)
        base = fs::path(home) / ".local" / "state";
    else
        base = "/tmp";
    return base / "vyx-cfg" / LogFilePath(program).filename();
}

TLogSave SaveLog(const fs::path& program, const std::string& bytes) {
    TLogSave result;
    const fs::path beside = LogFilePath(program);
    std::string first;
    try {
        SaveFileBytes(beside, bytes);
        result.Saved = true;
        result.Where = beside;
        return result;
    } catch (const Error& e) {
        first = e.what();
    }
    const fs::path fallback = StateLogPath(program);
    try {
        std::error_code ec;
        fs::create_directories(fallback.parent_path(), ec);
        SaveFileBytes(fallback, bytes);
        result.Saved = true;
        result.Where = fallback;
        result.Message = first + "\r\nLog zapisano w pliku \"" + fallback.string() + "\"";
    } catch (const Error& e) {
        result.Message = first + "\r\n" + e.what() + "\r\nLog nie został zapisany";
    }
    return result;
}

}  // namespace vyx::ui
