#pragma once

#include <CLI/CLI.hpp>

namespace dm::tool {

// Each adds one subcommand with its options and callback; the callback throws
// CLI::RuntimeError with the exit code on failure after printing its message.
void addEncodeCommand(CLI::App& app);
void addDecodeCommand(CLI::App& app);
void addEvalCommand(CLI::App& app);
void addGradeCommand(CLI::App& app);

}  // namespace dm::tool
