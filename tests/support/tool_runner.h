#pragma once

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace dm::test {

struct ToolRun {
    int exitCode = -1;  // -1 when the tool did not exit normally (a crash, a signal)
    std::string out;
    std::string err;
};

// Runs the dmcodec binary in folder with the arguments, a shell fragment quoted as needed (it
// may redirect standard input itself), and the given standard input. A memory limit in KiB
// runs it under ulimit -v, except in a build with AddressSanitizer, whose shadow memory needs
// more address space than any such limit. Every run is stopped after two minutes, so that a
// runaway fails instead of holding the suite.
ToolRun runTool(const std::filesystem::path& folder, const std::string& args,
                const std::string& input = "", long memoryLimitKiB = 0);

// The text in single quotes for the shell.
std::string shellQuote(const std::string& text);

bool builtWithAddressSanitizer();

// A test that runs the tool in a fresh folder of its own, removed afterwards.
class ToolTest : public TempDirTest {
  protected:
    ToolRun run(const std::string& args, const std::string& input = "",
                long memoryLimitKiB = 0) const {
        return runTool(dir_, args, input, memoryLimitKiB);
    }
};

}  // namespace dm::test
