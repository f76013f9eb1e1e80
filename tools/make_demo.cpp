// Writes the demo image shipped in examples/.
#include <cstdio>

#include "support/image_builder.h"

int main(int argc, char** argv) {
  using namespace skelv::test;
  const char* path = argc > 1 ? argv[1] : "examples/demo.bin";
  ImageBuilder img;
  img.zeros(3);
  InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  img.info(info);
  img.gps({2021, 3, 14, 9, 26, 53}, {{12, 0x0123}, {31, 0xabcd}});
  img.wetdry(1).wetdry(0);
  img.eof();
  img.write_to(path);
  std::printf("wrote %zu bytes to %s\n", img.size(), path);
  return 0;
}
