#include "tests/support/tool_runner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

namespace dm::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    const std::vector<uint8_t> bytes = readFile(p);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

bool builtWithAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

std::string shellQuote(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ToolRun runTool(const fs::path& folder, const std::string& args, const std::string& input,
                long memoryLimitKiB) {
    const fs::path in = folder / ".stdin", out = folder / ".stdout", err = folder / ".stderr";
    std::ofstream(in, std::ios::binary) << input;
    const std::string limit = memoryLimitKiB > 0 && !builtWithAddressSanitizer()
                                  ? "ulimit -v " + std::to_string(memoryLimitKiB) + "; "
                                  : "";
    const std::string cmd = "cd " + shellQuote(folder.string()) + " && (" + limit +
                            "exec timeout 120 " + shellQuote(DM_TOOL_PATH) + " " + args + ") <" +
                            shellQuote(in.string()) + " >" + shellQuote(out.string()) + " 2>" +
                            shellQuote(err.string());
    const int status = std::system(cmd.c_str());
    ToolRun r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    fs::remove(in);
    fs::remove(out);
    fs::remove(err);
    return r;
}

}  // namespace dm::test
