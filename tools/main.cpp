#include <CLI/CLI.hpp>

#include "tools/commands.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Data Matrix (ECC 200) codec test bench: encode text to JPEG, decode images, "
        "evaluate folders of images."};
    app.require_subcommand(1);
    dm::tool::addEncodeCommand(app);
    dm::tool::addDecodeCommand(app);
    dm::tool::addEvalCommand(app);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
