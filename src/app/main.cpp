#include <csignal>
#include <cstdio>

#include "app/console.h"
#include "app/skelv_main.h"

int main(int argc, char** argv) {
  // A file that outgrows the process's size limit fails its writes, as on a full disk, and the
  // run names it, instead of the process being stopped.
  std::signal(SIGXFSZ, SIG_IGN);
  const int status = skelv::skelv_main(argc, argv, stdout, skelv::stdout_is_terminal());
  std::fflush(stdout);
  return status;
}
