// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace orvel {

// Opens the main window with `paths` queued and runs it until it closes.
// Returns the window's exit code, or 1 when the window cannot be created.
// The only place a Qt object is created; headless modes never call it.
int runWindowMode(int& argc, char** argv, const std::vector<std::string>& paths);

} // namespace orvel
