#pragma once

// A small file system that really fills up: a tmpfs mounted in a mount namespace of the test
// process's own, so that nothing of it is seen outside. Needs root (or a user namespace's) rights
// and a process that has started no thread yet.
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

// Mounts a tmpfs of `bytes` on `folder`. Empty when mounted; otherwise why it could not be (for
// the test to skip with).
inline std::string mountSmallTmpfs(const std::filesystem::path& folder, std::size_t bytes) {
    if (::unshare(CLONE_NEWNS) != 0) return std::string("no mount namespace: ") + std::strerror(errno);
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("mounts cannot be made private: ") + std::strerror(errno);
    const std::string size = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) != 0)
        return std::string("no tmpfs can be mounted: ") + std::strerror(errno);
    return {};
}
