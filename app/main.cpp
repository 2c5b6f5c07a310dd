#include <iostream>

#include "app/command_line.h"

int main(int argc, char* argv[]) {
  // Standard output is written only through std::cout, which then needs no
  // synchronisation with C stdio: each std::endl is one write(2) (one
  // WriteFile on Windows).
  std::ios::sync_with_stdio(false);
  return app::RunCommandLine(argc, argv, std::cout);
}
