#pragma once

#include <string>

namespace lingchao {

// --set-password ROLE: reads one line from standard input and keeps its salted hash as ROLE's password in
// lingchao.ini (an empty line removes it). --new-api-token ROLE: prints a new token and keeps only its hash.
// Exit 0 when written, 1 with the reason on standard error.
int RunWebCredentialCommand(const std::string& role, bool newToken);

}  // namespace lingchao
