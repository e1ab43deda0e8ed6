#include "platform/file_writing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

namespace dm {
namespace {

namespace fs = std::filesystem;

using FileWriting = test::TempDirTest;

std::error_code writeText(const fs::path& path, const std::string& text) {
    return writeFileAtomically(path.string(),
                               {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Only the named files are left in the folder: no temporary file stays behind.
void expectOnly(const fs::path& dir, std::set<std::string> names) {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir))
        found.insert(entry.path().filename().string());
    EXPECT_EQ(found, names);
}

// A replacement changes the file as an overwrite would: a link stays a link (a relative one read
// from its own folder) and the file it leads to is written, the mode stays, a read-only file is
// not written (unless privileges allow).
TEST_F(FileWriting, ReplacingKeepsLinksAndModesAndRefusesReadOnlyFiles) {
    const fs::path real = dir_ / "real.txt", link = dir_ / "sub" / "link.txt";
    fs::create_directories(dir_ / "sub");
    fs::create_symlink("../real.txt", link);
    ASSERT_EQ(writeText(link, "first"), std::error_code{});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(real), "first");

    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(real, mode);
    ASSERT_EQ(writeText(link, "second"), std::error_code{});
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, mode);
    EXPECT_EQ(contents(real), "second");

    fs::permissions(real, fs::perms::owner_read | fs::perms::group_read);
    if (access(real.c_str(), W_OK) != 0) {
        EXPECT_EQ(writeText(real, "third"), std::errc::permission_denied);
        EXPECT_EQ(contents(real), "second");
    }
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read);
    expectOnly(dir_, {"real.txt", "sub"});
}

TEST_F(FileWriting, AFifoIsWrittenInPlace) {
    const fs::path pipe = dir_ / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string read;
    std::thread reader([&] { read = contents(pipe); });
    EXPECT_EQ(writeText(pipe, "through the pipe"), std::error_code{});
    reader.join();
    EXPECT_EQ(read, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(pipe));
}

TEST_F(FileWriting, FailuresLeaveTheFolderAsItWas) {
    fs::create_directories(dir_ / "folder");
    std::ofstream(dir_ / "plain") << "x";
    EXPECT_EQ(writeText(dir_ / "folder", "x"), std::errc::is_a_directory);
    EXPECT_EQ(writeText(dir_ / "missing" / "a.txt", "x"), std::errc::no_such_file_or_directory);
    EXPECT_EQ(writeText(dir_ / "plain" / "a.txt", "x"), std::errc::not_a_directory);
    EXPECT_EQ(contents(dir_ / "plain"), "x");
    expectOnly(dir_, {"folder", "plain"});
}

// /dev/stdout into a pipe leads through /proc to a pipe that has no path: it is written in place.
TEST_F(FileWriting, APipeReachedThroughProcIsWrittenInPlace) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_EQ(writeText("/proc/self/fd/" + std::to_string(ends[1]), "into the pipe"),
              std::error_code{});
    close(ends[1]);
    char buffer[32] = {};
    EXPECT_EQ(read(ends[0], buffer, sizeof buffer), 13);
    close(ends[0]);
    EXPECT_EQ(std::string(buffer), "into the pipe");
}

// A set of files is written all or none: the third name is a folder, so the first keeps its
// old contents, the second is not created and no temporary file stays.
TEST_F(FileWriting, ASetOfFilesIsWrittenAllOrNone) {
    std::ofstream(dir_ / "a") << "old";
    fs::create_directories(dir_ / "c");
    const std::string text = "new";
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()),
                                         text.size());
    std::vector<FileToWrite> files{{(dir_ / "a").string(), bytes},
                                   {(dir_ / "b").string(), bytes},
                                   {(dir_ / "c").string(), bytes}};
    const FilesWritten failed = writeFilesAtomically(files);
    EXPECT_EQ(failed.error, std::errc::is_a_directory);
    EXPECT_EQ(failed.failed, 2u);
    EXPECT_EQ(contents(dir_ / "a"), "old");
    expectOnly(dir_, {"a", "c"});

    files.pop_back();
    EXPECT_TRUE(writeFilesAtomically(files));
    EXPECT_EQ(contents(dir_ / "a"), "new");
    EXPECT_EQ(contents(dir_ / "b"), "new");
    expectOnly(dir_, {"a", "b", "c"});
}

}  // namespace
}  // namespace dm
