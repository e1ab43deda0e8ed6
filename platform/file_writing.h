#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <system_error>

namespace dm {

// Writes the bytes to path; on failure the system's error code of the step that failed. A
// regular file appears complete or not at all (a temporary file beside it is renamed into place,
// so any earlier file stays untouched on failure) and is replaced as an overwrite would change
// it: its mode stays, a symbolic link to it stays and the file it leads to is written, a
// read-only file is refused. A device, FIFO or pipe (/dev/stdout into a pipe, say) is written in
// place. A writable file in a folder that takes no new files is written in place too, with its
// room reserved first, so that a full disk leaves it as it was.
std::error_code writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

// One file of a set written together.
struct FileToWrite {
    std::string path;
    std::span<const uint8_t> bytes;
};

struct FilesWritten {
    std::error_code error;   // of the first file that failed; empty when all were written
    std::size_t failed = 0;  // index of that file
    explicit operator bool() const { return !error; }
};

// Writes several files as writeFileAtomically writes one, all or none: every file is written
// to its temporary file before the first is renamed into place, and a rename that fails puts
// back the files already replaced. Devices, FIFOs and files written in place come last and
// cannot be taken back.
FilesWritten writeFilesAtomically(std::span<const FileToWrite> files);

}  // namespace dm
