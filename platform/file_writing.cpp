#include "platform/file_writing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <vector>

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

// A hard link to the file under an unused name beside it, or empty when none can be made.
std::string keepCopy(const std::string& target) {
    std::string name;
    const int fd = createTemporaryIn(folderOf(target), name);
    if (fd < 0)
        return {};
    ::close(fd);
    ::unlink(name.c_str());
    return ::link(target.c_str(), name.c_str()) == 0 ? name : std::string();
}

// Writes into the file itself: a device or FIFO takes the bytes as they come; a regular file
// gets its room reserved before anything of it changes, and is cut to the new length after.
std::error_code writeInPlace(const std::string& path, std::span<const uint8_t> bytes,
                             bool regular) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (regular ? 0 : O_TRUNC));
    if (fd < 0)
        return lastError();
    std::error_code error;
    if (regular && !bytes.empty()) {
        // Only a lack of room stops the write; a file system that reserves nothing still takes
        // the bytes.
        const int e = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
        if (e == ENOSPC || e == EDQUOT || e == EFBIG)
            error = {e, std::generic_category()};
    }
    if (!error)
        error = writeAll(fd, bytes);
    if (!error && regular && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0)
        error = lastError();
    if (::close(fd) != 0 && !error)
        error = lastError();
    return error;
}

enum class Way : uint8_t { Rename, InPlace, Device };

struct Prepared {
    Way way = Way::Rename;
    std::string target;  // the file written: links followed, except for devices
    std::string temp;    // the complete new file, for Rename
    bool existed = false;
};

// Everything short of replacing the file: the new contents in a temporary file beside it, or
// the decision to write in place.
std::error_code prepare(const FileToWrite& file, Prepared& out) {
    struct stat st {};
    // stat follows every link, those of /proc (/dev/stdout into a pipe) included, which name
    // no path that could be followed by hand.
    if (::stat(file.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            return std::make_error_code(std::errc::is_a_directory);
        out.way = Way::Device;
        out.target = file.path;
        return {};
    }
    std::error_code error;
    out.target = followLinks(file.path, error);
    if (error)
        return error;
    out.existed = ::stat(out.target.c_str(), &st) == 0;
    if (!out.existed && errno != ENOENT)
        return lastError();
    if (out.existed && S_ISDIR(st.st_mode))
        return std::make_error_code(std::errc::is_a_directory);
    // An overwrite could not write a read-only file; neither does the rename.
    if (out.existed && ::faccessat(AT_FDCWD, out.target.c_str(), W_OK, AT_EACCESS) != 0)
        return lastError();
    const int fd = createTemporaryIn(folderOf(out.target), out.temp);
    if (fd < 0) {
        const std::error_code why = lastError();
        // The folder takes no new file (not writable, or a folder of /proc) but the file
        // itself may be written.
        if (out.existed) {
            out.way = Way::InPlace;
            out.temp.clear();
            return {};
        }
        out.temp.clear();
        return why;
    }
    if (out.existed) {
        // Owner and group as before where the privileges allow, then the mode.
        [[maybe_unused]] const int owned = ::fchown(fd, st.st_uid, st.st_gid);
        if (::fchmod(fd, st.st_mode & 07777) != 0)
            error = lastError();
    }
    if (!error)
        error = writeAll(fd, file.bytes);
    if (::close(fd) != 0 && !error)
        error = lastError();
    if (error) {
        ::unlink(out.temp.c_str());
        out.temp.clear();
    }
    return error;
}

}  // namespace

FilesWritten writeFilesAtomically(std::span<const FileToWrite> files) {
    std::vector<Prepared> prepared(files.size());
    auto discard = [&prepared] {
        for (const Prepared& p : prepared) {
            if (!p.temp.empty())
                ::unlink(p.temp.c_str());
        }
    };
    for (size_t i = 0; i < files.size(); ++i) {
        if (const std::error_code error = prepare(files[i], prepared[i])) {
            discard();
            return {error, i};
        }
    }
    // Every new file is complete: replace the old ones, keeping each as a link until all are
    // in place so that a failed rename can put them back.
    std::vector<std::string> kept(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        Prepared& p = prepared[i];
        if (p.way != Way::Rename)
            continue;
        if (p.existed && files.size() > 1)
            kept[i] = keepCopy(p.target);
        if (std::rename(p.temp.c_str(), p.target.c_str()) != 0) {
            const std::error_code error = lastError();
            for (size_t j = 0; j < i; ++j) {
                if (prepared[j].way != Way::Rename)
                    continue;
                if (!kept[j].empty())
                    std::rename(kept[j].c_str(), prepared[j].target.c_str());
                else if (!prepared[j].existed)
                    ::unlink(prepared[j].target.c_str());
                prepared[j].temp.clear();
            }
            if (!kept[i].empty())
                ::unlink(kept[i].c_str());
            discard();
            return {error, i};
        }
        p.temp.clear();
    }
    for (const std::string& k : kept) {
        if (!k.empty())
            ::unlink(k.c_str());
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const Prepared& p = prepared[i];
        if (p.way == Way::Rename)
            continue;
        if (const std::error_code error =
                writeInPlace(p.target, files[i].bytes, p.way == Way::InPlace))
            return {error, i};
    }
    return {};
}

std::error_code writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    const FileToWrite file{path, bytes};
    return writeFilesAtomically(std::span(&file, 1)).error;
}

}  // namespace dm
