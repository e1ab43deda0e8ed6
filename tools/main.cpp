#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "platform/file_reading.h"
#include "tools/commands.h"
#include "tools/tool_version.h"

namespace {

// "dmcodec 0.1.0", with the git description of a build from a checkout: "(git v0.1.0-3-gabc1234)".
std::string versionText() {
    std::string text = std::string("dmcodec ") + dm::tool::kVersion;
    if (*dm::tool::kGitDescription != '\0')
        text += std::string(" (git ") + dm::tool::kGitDescription + ")";
    return text;
}

// Why writing to standard output failed, when stdio no longer knows: a stream closed by the
// caller (held read-only, below), a full file system, or what a device says to one more byte.
int standardOutputError() {
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return EBADF;
    struct stat st {};
    struct statvfs fs {};
    if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) &&
        ::fstatvfs(STDOUT_FILENO, &fs) == 0 && fs.f_bavail == 0)
        return ENOSPC;
    if (S_ISCHR(st.st_mode) && ::write(STDOUT_FILENO, "\n", 1) < 0)
        return errno;
    return 0;
}

// Everything printed reaches standard output only when it is flushed: a full disk, /dev/full
// or a closed standard output show there, and turn a success into a failure.
int checkStandardOutput(int code) {
    std::cout.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    int why = errno;
    if (flushed && !std::ferror(stdout) && std::cout.good())
        return code;
    if (why == 0)
        why = standardOutputError();
    std::cerr << "dmcodec: cannot write to standard output";
    if (why == EBADF)
        std::cerr << ": it is closed";
    else if (why != 0)
        std::cerr << ": " << dm::errorText(why);
    std::cerr << "; the output is incomplete\n";
    return code == 0 ? 1 : code;
}

// A standard stream closed by the caller is held by /dev/null opened the wrong way round, so
// that no file the tool opens takes its number (and its output), and writes to it still fail.
void holdClosedStandardStreams() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) >= 0)
            continue;
        const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

// The first argument after the command that starts with '-' and names none of its options.
std::optional<std::string> unknownOption(CLI::App& app, int argc, char** argv) {
    if (argc < 2)
        return std::nullopt;
    const auto commands =
        app.get_subcommands([&](CLI::App* c) { return c->get_name() == argv[1]; });
    if (commands.empty())
        return std::nullopt;
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--")
            break;
        if (word.size() < 2 || word[0] != '-')
            continue;
        const std::string name = word.substr(0, word.find('='));
        if (commands.front()->get_option_no_throw(name) == nullptr && name != "-h" &&
            name != "--help")
            return word;
    }
    return std::nullopt;
}

int runCommand(int argc, char** argv) {
    CLI::App app{
        "Data Matrix (ECC 200) codec test bench: encode text to JPEG, decode images, "
        "evaluate folders of images, grade print quality."};
    app.require_subcommand(1);
    app.set_version_flag("--version", versionText(), "Print the version and exit");
    dm::tool::addEncodeCommand(app);
    dm::tool::addDecodeCommand(app);
    dm::tool::addEvalCommand(app);
    dm::tool::addGradeCommand(app);
    if (argc > 1 && argv[1][0] != '-' &&
        app.get_subcommands([&](CLI::App* c) { return c->get_name() == argv[1]; }).empty()) {
        std::cerr << "dmcodec: unknown command '" << argv[1]
                  << "'; the commands are encode, decode, eval and grade (see --help)\n";
        return 2;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::RequiredError& e) {
        // "files is required" when the files were taken for options: name the first word that
        // looks like an option and is none, and how to give a file whose name starts so.
        if (const std::optional<std::string> unknown = unknownOption(app, argc, argv)) {
            std::cerr << "dmcodec: unknown option '" << *unknown
                      << "'; a file whose name starts with '-' goes after --, as in: dmcodec "
                      << argv[1] << " -- " << *unknown << '\n';
            return 2;
        }
        app.exit(e);
        return 2;
    } catch (const CLI::ParseError& e) {
        // Help exits 0 and a failed command with its own status; every other parse error is a
        // usage error: status 2, as the commands' own usage errors.
        const int code = app.exit(e);
        const bool own = code == 0 || dynamic_cast<const CLI::RuntimeError*>(&e) != nullptr;
        return own ? code : 2;
    } catch (const std::bad_alloc&) {
        std::cerr << "dmcodec: out of memory\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "dmcodec: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    holdClosedStandardStreams();
    return checkStandardOutput(runCommand(argc, argv));
}
