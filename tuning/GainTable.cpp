#include "tuning/GainTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/ClassicNumbers.h"

namespace {

// A row is stored only when all three of its numbers are good, so a failed row leaves the default.
bool readRow(std::FILE* file, GainTable& gains, int mode) {
    float proportional = 0;
    float integral = 0;
    float derivative = 0;
    if (std::fscanf(file, "%f %f %f", &proportional, &integral, &derivative) != 3) return false;
    // "inf" and "nan" parse as numbers, but no controller should be sent them.
    if (!std::isfinite(proportional) || !std::isfinite(integral) || !std::isfinite(derivative)) return false;
    const auto row = static_cast<std::size_t>(mode);
    gains.proportional[row] = proportional;
    gains.integral[row] = integral;
    gains.derivative[row] = derivative;
    return true;
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

void setError(std::string* error, const char* step, const std::string& file, int errorNumber) {
    setError(error, std::string("could not ") + step + " " + file + ": " + std::strerror(errorNumber));
}

// The file that a save to `path` must replace: `path` itself, or the end of the chain of symbolic
// links it names (which need not exist yet). Empty when the chain does not end.
std::string followLinks(std::string path) {
    constexpr int kMostLinks = 40;
    for (int link = 0; link < kMostLinks; ++link) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return {};
        target.resize(static_cast<std::size_t>(length));
        // A relative target is relative to the directory holding the link.
        const std::size_t slash = path.rfind('/');
        path =
            target.front() == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    errno = ELOOP;
    return {};
}

bool writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string formatTable(const GainTable& gains) {
    const ClassicNumbers classic;
    std::string text;
    for (int mode = 0; mode < kFlightModeCount; ++mode) {
        const auto row = static_cast<std::size_t>(mode);
        // "%7.4f" of a very large gain is long; ask for the length first rather than guess.
        const int length = std::snprintf(nullptr, 0, "%7.4f %7.4f %7.4f \n", gains.proportional[row],
                                         gains.integral[row], gains.derivative[row]);
        if (length <= 0) continue;
        std::string line(static_cast<std::size_t>(length) + 1, '\0');
        std::snprintf(line.data(), line.size(), "%7.4f %7.4f %7.4f \n", gains.proportional[row],
                      gains.integral[row], gains.derivative[row]);
        line.resize(static_cast<std::size_t>(length));
        text += line;
    }
    return text;
}

}  // namespace

int readGainTable(std::FILE* file, GainTable& gains) {
    const ClassicNumbers classic;
    gains = kDefaultGainTable;
    int rowsRead = 0;
    while (rowsRead < kFlightModeCount && readRow(file, gains, rowsRead)) ++rowsRead;
    return rowsRead;
}

GainFileLoad loadGainFile(GainTable& gains) {
    gains = kDefaultGainTable;
    GainFileLoad load;
    // Opened for update as the gain file always has been: a file the operator cannot write is
    // not read either.
    std::FILE* file = std::fopen(kGainFileName, "r+");
    if (!file) {
        load.exists = errno != ENOENT;
        load.openError = load.exists ? errno : 0;
        return load;
    }
    load.exists = true;
    load.rowsRead = readGainTable(file, gains);
    std::fclose(file);
    return load;
}

bool saveGainFile(const GainTable& gains, std::string* error) {
    const std::string text = formatTable(gains);

    const std::string target = followLinks(kGainFileName);
    if (target.empty()) {
        setError(error, "follow the link", kGainFileName, errno);
        return false;
    }
    const std::string temporary = target + ".tmp";

    // The replacement keeps the old file's permissions; a file the operator may not write is not
    // replaced behind its back (the rename would succeed wherever the directory is writable).
    std::optional<mode_t> keptPermissions;
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            setError(error, target + " is not writable: " + std::strerror(errno));
            return false;
        }
        keptPermissions = existing.st_mode & 07777;
    }

    // A new file gets the usual permissions (through the umask).
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          keptPermissions ? 0600 : 0666);
    if (fd < 0) {
        setError(error, "create", temporary, errno);
        return false;
    }
    // Set outright: the mode given to open is cut by the umask.
    bool ok = !keptPermissions || ::fchmod(fd, *keptPermissions) == 0;
    int failure = ok ? 0 : errno;
    const char* step = "set the permissions of";
    if (ok && !writeAll(fd, text.data(), text.size())) {
        ok = false;
        failure = errno;
        step = "write";
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        failure = errno;
        step = "flush to disk";
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
        step = "close";
    }
    if (ok && std::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        failure = errno;
        step = "rename into place";
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        setError(error, step, temporary, failure);
        return false;
    }
    // Make the rename itself durable; the new file is already in place if this fails.
    const std::size_t slash = target.rfind('/');
    const std::string directoryPath = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int directory = ::open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}
