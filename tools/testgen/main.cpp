// SPDX-License-Identifier: MIT
#include <cstdio>

#include "tools/testgen/testgen.h"

namespace testgen {

std::map<std::string, Command>& commands()
{
    static std::map<std::string, Command> table;
    return table;
}

} // namespace testgen

int main(int argc, char** argv)
{
    if (argc < 2 || testgen::commands().count(argv[1]) == 0) {
        std::fprintf(stderr, "usage: kestrone-testgen COMMAND ARGS...\ncommands:\n");
        for (const auto& [name, command] : testgen::commands()) {
            std::fprintf(stderr, "  %s\n", name.c_str());
        }
        return 64;
    }
    return testgen::commands()[argv[1]](argc - 1, argv + 1);
}
