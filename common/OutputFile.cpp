#include "common/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kStandardOutputName = "the standard output";

ssize_t writeChecked(void* cookie, const char* bytes, std::size_t size) {
    auto* writes = static_cast<CheckedWrites*>(cookie);
    if (writes->failure != 0) return 0;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(writes->fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            writes->failure = written < 0 ? errno : EIO;
            return 0;
        }
        done += static_cast<std::size_t>(written);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

std::FILE* openCheckedStream(CheckedWrites& writes) {
    const cookie_io_functions_t functions{nullptr, &writeChecked, nullptr, nullptr};
    return ::fopencookie(&writes, "w", functions);
}

OutputFile::~OutputFile() {
    if (stream_ != nullptr) std::fclose(stream_);
    if (writes_.fd > STDOUT_FILENO) ::close(writes_.fd);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool OutputFile::open(const std::string& path, std::string& error) {
    if (path.empty() || path == "-") {
        name_ = kStandardOutputName;
        writes_.fd = STDOUT_FILENO;
    } else {
        name_ = path;
        target_ = path;
        // Through a link to the file it names, so that the link stays.
        if (char resolved[PATH_MAX]; ::realpath(path.c_str(), resolved) != nullptr) target_ = resolved;
        struct stat existing {};
        const bool exists = ::stat(target_.c_str(), &existing) == 0;
        if (exists && !S_ISREG(existing.st_mode)) {
            writes_.fd = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        } else {
            temporary_ = target_ + ".tmp" + std::to_string(::getpid());
            writes_.fd =
                ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (writes_.fd < 0) {
                temporary_.clear();
                return fail(error, errno);
            }
            // The replacement keeps the old file's permissions (the destructor removes it on failure).
            if (exists && ::fchmod(writes_.fd, existing.st_mode & 07777) != 0) return fail(error, errno);
        }
        if (writes_.fd < 0) return fail(error, errno);
    }
    stream_ = openCheckedStream(writes_);
    if (stream_ == nullptr) return fail(error, errno != 0 ? errno : ENOMEM);
    return true;
}

bool OutputFile::finish(std::string& error) {
    if (stream_ == nullptr) return fail(error, EBADF);
    const bool flushed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (writes_.failure != 0) return fail(error, writes_.failure);
    if (!flushed) return fail(error, EIO);
    // A regular file (also the standard output sent to one) is on the disk before it counts.
    struct stat written {};
    if (::fstat(writes_.fd, &written) == 0 && S_ISREG(written.st_mode) && ::fsync(writes_.fd) != 0)
        return fail(error, errno);
    if (writes_.fd > STDOUT_FILENO) {
        const int fd = writes_.fd;
        writes_.fd = -1;
        if (::close(fd) != 0) return fail(error, errno);
    }
    if (!temporary_.empty()) {
        if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return fail(error, errno);
        temporary_.clear();
    }
    return true;
}

bool OutputFile::fail(std::string& error, int cause) {
    error = name_ + " cannot be written: " + std::strerror(cause);
    return false;
}

bool writeWholeFile(const std::string& path, const void* bytes, std::size_t size, std::string& error) {
    OutputFile output;
    if (!output.open(path, error)) return false;
    std::fwrite(bytes, 1, size, output.stream());
    return output.finish(error);
}
