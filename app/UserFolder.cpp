#include "app/UserFolder.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "common/Notifier.h"

#ifndef ORVANE_MAPS_FROM_PROGRAMS
#error "ORVANE_MAPS_FROM_PROGRAMS comes from the install layout in the build"
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderName = "orvane";
constexpr const char* kCockpitLinkName = "OpenGC.exe";
constexpr const char* kCockpitProgram = "orvane-cockpit";

// True when `path` names anything at all, a dangling link included.
bool entryExists(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

// Copies `from` to `to` unless `to` exists. The copy is written under a temporary name and put in
// place with link(), which refuses an existing name (a dangling link too), so neither a file of the
// operator nor a half-written picture can end up under the map's name.
std::string copyUnlessPresent(const fs::path& from, const fs::path& to) {
    if (entryExists(to)) return {};
    const fs::path partial = to.parent_path() / ("." + to.filename().string() + ".partial");
    std::error_code error;
    fs::remove(partial, error);
    {
        std::ifstream in(from, std::ios::binary);
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
        out.close();
        if (!in || !out) {
            fs::remove(partial, error);
            return "could not copy " + from.string() + " to " + to.string();
        }
    }
    const int linked = ::link(partial.c_str(), to.c_str());
    const int linkError = errno;
    fs::remove(partial, error);
    if (linked != 0 && linkError != EEXIST)
        return "could not write " + to.string() + ": " + std::strerror(linkError);
    return {};
}

}  // namespace

fs::path userFolderPath(const char* xdgDataHome, const char* home) {
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return fs::path(xdgDataHome) / kFolderName;
    std::string homeFolder = home != nullptr ? home : "";
    if (homeFolder.empty()) {
        if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
            homeFolder = entry->pw_dir;
    }
    if (homeFolder.empty() || homeFolder[0] != '/') return {};
    return fs::path(homeFolder) / ".local" / "share" / kFolderName;
}

fs::path installedMapsFolder(const fs::path& programFolder) {
    return (programFolder / ORVANE_MAPS_FROM_PROGRAMS).lexically_normal();
}

std::vector<std::string> layOutUserFolder(const fs::path& folder, const fs::path& mapsFolder,
                                          const fs::path& cockpitProgram) {
    std::vector<std::string> problems;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder)) {
        problems.push_back("could not create the folder " + folder.string() +
                           (error ? ": " + error.message() : std::string()));
        return problems;
    }

    fs::directory_iterator maps(mapsFolder, error);
    if (error) problems.push_back("could not read the installed maps in " + mapsFolder.string());
    for (; !error && maps != fs::directory_iterator(); maps.increment(error)) {
        if (!maps->is_regular_file() || maps->path().extension() != ".bmp") continue;
        std::string problem = copyUnlessPresent(maps->path(), folder / maps->path().filename());
        if (!problem.empty()) problems.push_back(std::move(problem));
    }

    const fs::path link = folder / kCockpitLinkName;
    if (!entryExists(link)) {
        fs::create_symlink(cockpitProgram, link, error);
        if (error && error != std::errc::file_exists)
            problems.push_back("could not link " + link.string() + " to " + cockpitProgram.string() + ": " +
                               error.message());
    }
    return problems;
}

bool enterUserFolder(Notifier& notifier) {
    const fs::path folder = userFolderPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (folder.empty()) {
        notifier.showMessage(kApplicationTitle, "There is no home folder to keep the program's files in.");
        return false;
    }
    std::error_code error;
    const fs::path programFolder = fs::read_symlink("/proc/self/exe", error).parent_path();
    const std::vector<std::string> problems =
        layOutUserFolder(folder, installedMapsFolder(programFolder), programFolder / kCockpitProgram);
    for (const std::string& problem : problems)
        notifier.showMessage(kApplicationTitle, "Orvane " + problem + ".");
    if (::chdir(folder.c_str()) != 0) {
        notifier.showMessage(kApplicationTitle,
                             "Orvane cannot work in " + folder.string() + ": " + std::strerror(errno) + ".");
        return false;
    }
    return true;
}
