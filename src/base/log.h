#pragma once

#include <string>

namespace lingchao {

// One line to stderr, prefixed with the program's name: the session's log when started from the desktop.
void LogLine(const std::string& line);

}  // namespace lingchao
