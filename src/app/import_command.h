#pragma once

#include <string>

namespace lingchao {

// `lingchao --import DIR`: the old computer's folder copied into the application folder as the window's import
// does, without questions (what differs is replaced, after it was kept in a dated backup); what it did goes to
// stdout. Holds the application folder's lock meanwhile and refuses while a running copy holds it. 0 when done,
// 1 on a problem (nothing to import, the folder in use, no backup, a file not written), 2 when DIR is no folder.
int RunImportFromCommandLine(const std::string& oldFolder);

}  // namespace lingchao
