#include <CLI/CLI.hpp>
#include <iostream>
#include <new>

#include "tools/commands.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Data Matrix (ECC 200) codec test bench: encode text to JPEG, decode images, "
        "evaluate folders of images, grade print quality."};
    app.require_subcommand(1);
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
