// Micro-benchmarks of the decoder's hot paths, on images made by the test encoder.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "ctd/ctd_values.h"
#include "dive/codec.h"
#include "input/byte_source.h"
#include "output/text/number_text.h"
#include "output/text/text_lines.h"
#include "records/decoder.h"
#include "records/time_base.h"
#include "encoder/image_builder.h"

namespace skelv {
namespace {

// A scratch file that lives as long as the benchmark.
struct Scratch {
  explicit Scratch(const std::vector<std::uint8_t>& bytes) {
    char tmpl[] = "/tmp/skelv-bench-XXXXXX";
    const int fd = ::mkstemp(tmpl);
    path = tmpl;
    if (fd >= 0) {
      if (::write(fd, bytes.data(), bytes.size()) < 0) std::perror("write");
      ::close(fd);
    }
  }
  ~Scratch() { ::unlink(path.c_str()); }
  std::string path;
};

// A stream of one-byte steps, labelled "steps".
std::vector<std::uint8_t> steps(std::size_t n) {
  std::mt19937 rng(1);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng() % 0xF0);
  return bytes;
}

void BM_ReadBytesOneAtATime(benchmark::State& state) {
  Scratch file(steps(1 << 20));
  for (auto _ : state) {
    ByteSource in;
    source_attach(in, ::open(file.path.c_str(), O_RDONLY));
    std::uint8_t b = 0;
    while (read_bytes(in, "bench", &b, 1)) benchmark::DoNotOptimize(b);
    source_close(in);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (1 << 20));
  state.SetLabel("1 MiB of steps");
}
BENCHMARK(BM_ReadBytesOneAtATime);

void BM_ReadRel(benchmark::State& state) {
  Scratch file(steps(1 << 20));
  for (auto _ : state) {
    ByteSource in;
    OutputList outputs;
    RunEvents events;
    Decoder d(in, outputs, events);
    source_attach(in, ::open(file.path.c_str(), O_RDONLY));
    std::uint16_t v = 0;
    while (read_rel(d, v, false) == 0) benchmark::DoNotOptimize(v);
    source_close(in);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (1 << 20));
  state.SetLabel("1 MiB of steps");
}
BENCHMARK(BM_ReadRel);

// The timestamps of the TDR and accelerometer lines, a quarter second apart.
void BM_PutTimeMs(benchmark::State& state) {
  char out[kTimeTextSize];
  TimeText cache;
  double t = 1.7e9;
  for (auto _ : state) {
    benchmark::DoNotOptimize(put_time_ms(cache, t, out));
    t += 0.25;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PutTimeMs);

void BM_PutFixed(benchmark::State& state) {
  char out[kNumberRoom];
  double v = -273.15;
  for (auto _ : state) {
    benchmark::DoNotOptimize(put_fixed<3>(out, v));
    v += 0.05;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PutFixed);

void BM_SnprintfFixed(benchmark::State& state) {
  char out[kNumberRoom];
  double v = -273.15;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(out, sizeof out, "%.3f", v));
    v += 0.05;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_SnprintfFixed);

void BM_WriteTdrLineRegime7(benchmark::State& state) {
  TextFile f;
  out_open(f.file, "/dev/null");
  TdrSample s;
  s.depth_raw = 1234;
  s.depth_m = 123.4;
  s.temp_raw = 5800;
  s.odo_raw = 25;
  s.mag[0] = 200;
  s.mag[1] = 65500;
  s.mag[2] = 300;
  s.mag_temp = 12;
  double t = 1.7e9;
  for (auto _ : state) {
    write_tdr_line(f, t, s, TDR_DEPTH | TDR_TEMP | TDR_ODO | TDR_MAG | TDR_WETDRY, 0, 1);
    t += 1.0;
    ++s.depth_raw;
    s.depth_m = s.depth_raw * 0.1;
  }
  out_close(f.file);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetLabel("lines");
}
BENCHMARK(BM_WriteTdrLineRegime7);

void BM_WriteCtdLineFourAuxColumns(benchmark::State& state) {
  TextFile f;
  out_open(f.file, "/dev/null");
  Deployment dep;
  CtdState ctd;
  CtdColumns columns;
  columns.count = 4;
  for (double& scale : columns.scale) scale = 0.001;
  std::uint16_t raw[kCtdValues] = {1600, 23000, 32200, 1200, 3050, 14000, 17500};
  double t = 1.7e9;
  ctd.lag_coefficient = 0.6;
  for (auto _ : state) {
    write_ctd_line(f, t, ctd_values(dep, ctd, raw, columns));
    t += 0.5;
    ++raw[0];
  }
  out_close(f.file);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetLabel("lines");
}
BENCHMARK(BM_WriteCtdLineFourAuxColumns);

void BM_WriteAccLine(benchmark::State& state) {
  TextFile f;
  out_open(f.file, "/dev/null");
  const Deployment dep;
  AccSample sample{4096, 4352, 3840};
  double t = 1.7e9;
  for (auto _ : state) {
    write_acc_line(f, t, sample.x * dep.acc_scale - dep.acc_offset, sample.y * dep.acc_scale - dep.acc_offset,
                   sample.z * dep.acc_scale - dep.acc_offset);
    t += 0.04;
    ++sample.x;
  }
  out_close(f.file);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetLabel("lines");
}
BENCHMARK(BM_WriteAccLine);

}  // namespace
}  // namespace skelv

BENCHMARK_MAIN();
