#include "tuning/GainTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

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

void setError(std::string* error, const char* step, int errorNumber) {
    if (error)
        *error =
            std::string("could not ") + step + " " + kGainFileTempName + ": " + std::strerror(errorNumber);
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

int loadGainFile(GainTable& gains) {
    gains = kDefaultGainTable;
    // Opened for update as the gain file always has been: a file the operator cannot write is
    // treated as absent.
    std::FILE* file = std::fopen(kGainFileName, "r+");
    if (!file) return 0;
    const int rowsRead = readGainTable(file, gains);
    std::fclose(file);
    return rowsRead;
}

bool saveGainFile(const GainTable& gains, std::string* error) {
    const std::string text = formatTable(gains);

    // The old file's permissions carry over to its replacement.
    mode_t permissions = 0666;
    struct stat existing {};
    if (::stat(kGainFileName, &existing) == 0) permissions = existing.st_mode & 07777;

    const int fd =
        ::open(kGainFileTempName, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, permissions);
    if (fd < 0) {
        setError(error, "create", errno);
        return false;
    }
    bool ok = writeAll(fd, text.data(), text.size());
    int failure = ok ? 0 : errno;
    const char* step = "write";
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
    if (ok && std::rename(kGainFileTempName, kGainFileName) != 0) {
        ok = false;
        failure = errno;
        step = "rename into place";
    }
    if (!ok) {
        ::unlink(kGainFileTempName);
        setError(error, step, failure);
        return false;
    }
    // Make the rename itself durable; the new file is already in place if this fails.
    const int directory = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}
