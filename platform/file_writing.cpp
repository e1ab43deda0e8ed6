#include "platform/file_writing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

namespace dm {
namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        done += static_cast<size_t>(n);
    }
    return {};
}

// The folder part of a path: "." for a bare name.
std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path with symbolic links followed to the file they lead to, which need not exist yet;
// relative links are read from the link's own folder.
std::string followLinks(std::string path, std::error_code& error) {
    constexpr int kMaxLinks = 40;  // as the kernel allows
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT)
                error = lastError();
            return path;
        }
        if (!S_ISLNK(st.st_mode))
            return path;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) {
            error = lastError();
            return path;
        }
        link.resize(static_cast<size_t>(n));
        path = link.starts_with('/') ? link : folderOf(path) + "/" + link;
    }
    error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return path;
}

// Creates an empty file with a short unused name in the folder: short, so that any name the
// target may have fits beside it.
int createTemporaryIn(const std::string& folder, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "/.dm-%08x", random());
        name = folder + suffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

std::error_code writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    std::error_code error;
    const std::string target = followLinks(path, error);
    if (error)
        return error;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return lastError();
    if (exists && S_ISDIR(st.st_mode))
        return std::make_error_code(std::errc::is_a_directory);
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or FIFO cannot be replaced by a file; it takes the bytes as they come.
        const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return lastError();
        error = writeAll(fd, bytes);
        if (::close(fd) != 0 && !error)
            error = lastError();
        return error;
    }
    // An overwrite could not write a read-only file; neither does the rename.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return lastError();
    std::string temp;
    const int fd = createTemporaryIn(folderOf(target), temp);
    if (fd < 0)
        return lastError();
    if (exists) {
        // Owner and group as before where the privileges allow, then the mode.
        [[maybe_unused]] const int owned = ::fchown(fd, st.st_uid, st.st_gid);
        if (::fchmod(fd, st.st_mode & 07777) != 0)
            error = lastError();
    }
    if (!error)
        error = writeAll(fd, bytes);
    if (::close(fd) != 0 && !error)
        error = lastError();
    if (!error && std::rename(temp.c_str(), target.c_str()) != 0)
        error = lastError();
    if (error)
        ::unlink(temp.c_str());
    return error;
}

}  // namespace dm
