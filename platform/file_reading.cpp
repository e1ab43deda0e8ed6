#include "platform/file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dm {
namespace {

// Why a path of this type cannot be read as a file.
const char* notAFile(mode_t mode) {
    if (S_ISDIR(mode))
        return "is a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a regular file";
    if (S_ISFIFO(mode))
        return "is a FIFO (named pipe), not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    return S_ISREG(mode) ? nullptr : "is not a regular file";
}

std::string openError(int errorNumber) {
    return errorNumber == ENOENT ? "no such file" : errorText(errorNumber);
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

std::string errorText(int errorNumber) {
    switch (errorNumber) {
        case EACCES:
        case EPERM:
            return "permission denied";
        case ENAMETOOLONG:
            return "name too long";
        case ENOENT:
            return "no such file or folder";
        case ENOTDIR:
            return "a part of the path is not a folder";
        case EISDIR:
            return "is a folder";
        case ELOOP:
            return "too many levels of symbolic links";
        case EROFS:
            return "read-only file system";
        case ENOSPC:
            return "no space left on the device";
        case EDQUOT:
            return "disk quota exceeded";
        default: {
            std::string text = std::strerror(errorNumber);
            if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
                text[0] = static_cast<char>(text[0] - 'A' + 'a');
            return text;
        }
    }
}

FileContents readDescriptor(int fd, std::size_t maxBytes) {
    FileContents out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.error = errorText(errno);
            out.bytes.clear();
            return out;
        }
        if (n == 0)
            return out;
        if (out.bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            out.error = "longer than " + std::to_string(maxBytes) + " bytes";
            out.tooLarge = true;
            out.bytes.clear();
            return out;
        }
        out.bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

FileContents readRegularFile(const std::string& path, std::size_t maxBytes) {
    FileContents out;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        out.error = openError(errno);
        return out;
    }
    if (const char* why = notAFile(st.st_mode)) {
        out.error = why;
        return out;
    }
    if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        out.error = "larger than " + std::to_string(maxBytes) + " bytes";
        out.tooLarge = true;
        return out;
    }
    // Non-blocking, so that a path swapped for a FIFO since the check cannot block the open.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) {
        out.error = openError(errno);
        return out;
    }
    if (::fstat(file.fd, &st) != 0) {
        out.error = errorText(errno);
        return out;
    }
    if (const char* why = notAFile(st.st_mode)) {
        out.error = why;
        return out;
    }
    return readDescriptor(file.fd, maxBytes);
}

}  // namespace dm
