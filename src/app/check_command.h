#pragma once

namespace lingchao {

// `lingchao --check`: prints today's and tomorrow's bells and every problem found, to stdout. Writes nothing,
// takes no single-instance guard, so it runs beside the program. 0 when all of today's bells can play, else 1.
int RunCheck(int* argc, char*** argv);

}  // namespace lingchao
