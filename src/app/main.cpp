#include <cstdio>

#include "app/command_line.h"

int main(int argc, char** argv) {
  const int status = skelv::skelv_main(argc, argv, stdout, skelv::stdout_is_terminal());
  std::fflush(stdout);
  return status;
}
