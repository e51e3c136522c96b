// SPDX-License-Identifier: MIT
#pragma once

// kestrone-testgen COMMAND ARGS...: each source file of tools/testgen registers
// its commands with KESTRONE_TESTGEN_COMMAND("name", function).
#include <map>
#include <string>

namespace testgen {

using Command = int (*)(int argc, char** argv); // argv[0] is the command name

std::map<std::string, Command>& commands();

struct Registration {
    Registration(const char* name, Command command) { commands()[name] = command; }
};

} // namespace testgen

#define KESTRONE_TESTGEN_CONCAT2(a, b) a##b
#define KESTRONE_TESTGEN_CONCAT(a, b) KESTRONE_TESTGEN_CONCAT2(a, b)
#define KESTRONE_TESTGEN_COMMAND(name, function) \
    static const testgen::Registration KESTRONE_TESTGEN_CONCAT(registration_, __LINE__)(name, function)
