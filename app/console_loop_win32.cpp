// The console on Windows.
#include <cstdio>

#include "app/program_options.h"

namespace quib {

int RunConsoleMode(const ProgramOptions&) {
  std::fprintf(stderr, "The console is not there yet.\n");
  return 2;
}

}  // namespace quib
