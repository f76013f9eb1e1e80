// skelv-quicklook IMAGE: the quick-look page of a converted image.
#include <cstdio>

#include "quicklook/quicklook.h"

int main(int argc, char** argv) {
  return skelv::quicklook::quicklook_main(argc, argv, stdout, stderr);
}
