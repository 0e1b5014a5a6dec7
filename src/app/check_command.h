#pragma once

namespace lingchao {

// `lingchao --check`: prints today's and tomorrow's bells and every problem found, to stdout. Writes nothing,
// takes no single-instance guard, so it runs beside the program. 1 when a problem touches a bell still to ring today
// or tomorrow, else 0.
int RunCheck(int* argc, char*** argv);

}  // namespace lingchao
