#pragma once

#include <cstddef>
#include <string>

namespace dm {

// The bytes read from a file or stream, or why they could not be read.
struct FileContents {
    std::string bytes;
    std::string error;      // empty when bytes hold everything there was
    bool tooLarge = false;  // set with error when there was more than the limit allowed
    bool ok() const { return error.empty(); }
};

// Reads a whole regular file of at most maxBytes. Folders, devices, FIFOs and sockets are
// refused by what they are before anything is opened for reading, so neither /dev/zero nor a
// pipe without a writer can hold the caller up.
FileContents readRegularFile(const std::string& path, std::size_t maxBytes);

// Reads an open descriptor (standard input, say) to its end, stopping past maxBytes.
FileContents readDescriptor(int fd, std::size_t maxBytes);

// A short, lower-case description of a system error code for messages: "permission denied",
// "name too long", "is a folder", ...
std::string errorText(int errorNumber);

}  // namespace dm
