// Stands in for the cockpit program in the spawn tests: records how it was started into
// "probe-<pid>.txt" in its working directory, then exits.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    std::string record = "argc=" + std::to_string(argc) + "\n";
    record += "argv0=" + std::string(argc > 0 ? argv[0] : "") + "\n";
    char cwd[4096] = {};
    record += "cwd=" + std::string(getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
    const char* mark = std::getenv("ORVANE_PROBE_MARK");
    record += "mark=" + std::string(mark ? mark : "") + "\n";
    // Every descriptor above the standard three that came with the process.
    record += "fds=";
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            const int fd = std::atoi(entry->d_name);
            if (fd > 2 && fd != dirfd(dir)) record += std::to_string(fd) + " ";
        }
        closedir(dir);
    }
    record += "\n";

    const std::string name = "probe-" + std::to_string(getpid()) + ".txt";
    const std::string partial = name + ".partial";
    FILE* out = std::fopen(partial.c_str(), "w");
    if (!out) return 2;
    std::fwrite(record.data(), 1, record.size(), out);
    if (std::fclose(out) != 0) return 3;
    // Appears whole or not at all, so the test never reads half a record.
    return std::rename(partial.c_str(), name.c_str()) == 0 ? 0 : 4;
}
