#include <cstdio>

#include "app/console.h"
#include "app/skelv_main.h"

int main(int argc, char** argv) {
  const int status = skelv::skelv_main(argc, argv, stdout, skelv::stdout_is_terminal());
  std::fflush(stdout);
  return status;
}
