#include "app/console.h"

#include <unistd.h>

#include <algorithm>

namespace skelv {
namespace {

constexpr std::size_t kListed = 32;  // damaged stretches and further failures listed one by one

void draw_progress(ProgressPrinter& p) {
  std::fprintf(p.out, "\r%8lX %7lu => TDR %9lu | CTD %8lu | GPS %8lu | ACC %9lu",
               static_cast<unsigned long>(p.offset), static_cast<unsigned long>(p.offset / 1024),
               static_cast<unsigned long>(p.counts[0]), static_cast<unsigned long>(p.counts[1]),
               static_cast<unsigned long>(p.counts[2]), static_cast<unsigned long>(p.counts[3]));
  p.drawn_all = true;
}

void print_tag_version(std::FILE* out, const Run& run) {
  if (run.tag_version < 0) {
    std::fputs("\n\nTag Version: ???\n", out);
  } else {
    std::fprintf(out, "\n\nTag Version: %u", static_cast<unsigned>(run.tag_version));
  }
}

void print_counts(std::FILE* out, const Run& run) {
  if (run.tdr_count != 0) std::fprintf(out, "  %s: %lu TDR records\n", run.tdr_name, static_cast<unsigned long>(run.tdr_count));
  if (run.ctd_count != 0) std::fprintf(out, "  %s: %lu CTD records\n", run.ctd_name, static_cast<unsigned long>(run.ctd_count));
  if (run.gps_count != 0) std::fprintf(out, "  %s: %lu GPS records\n", run.gps_name, static_cast<unsigned long>(run.gps_count));
  if (run.acc_count != 0) std::fprintf(out, "  %s: %lu Accel records\n", run.acc_name, static_cast<unsigned long>(run.acc_count));
}

// The failures of the run besides the latest one, which the "Failure:" line shows: one line each.
void print_other_failures(std::FILE* out, const RunEvents& events) {
  std::size_t others = 0;
  for (const Event& e : events.list) {
    if (e.kind != EventKind::kFailure || e.text == events.last_failure) continue;
    if (++others <= kListed) std::fprintf(out, "Failure: %s", e.text.c_str());
  }
  if (others > kListed) std::fprintf(out, "and %zu more failures\n", others - kListed);
}

}  // namespace

void show_progress(ProgressPrinter& p, std::uint64_t offset, std::uint32_t tdr, std::uint32_t ctd,
                   std::uint32_t gps, std::uint32_t acc) {
  p.offset = offset;
  p.counts[0] = tdr;
  p.counts[1] = ctd;
  p.counts[2] = gps;
  p.counts[3] = acc;
  p.drawn_all = false;
  if (!p.terminal) {
    draw_progress(p);
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - p.last_draw >= std::chrono::milliseconds(100)) {
    draw_progress(p);
    std::fflush(p.out);
    p.last_draw = now;
  }
}

void finish_progress(ProgressPrinter& p) {
  if (!p.drawn_all) draw_progress(p);
}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

void print_completed(std::FILE* out, const Run& run, const ExtraLines& extra) {
  print_tag_version(out, run);
  std::fprintf(out, "\n\nCompleted.\n\nInput: %lu bytes from %s\n\nOutput:\n", static_cast<unsigned long>(run.byte_count),
               run.input_name);
  print_counts(out, run);
  std::fputs(extra.text, out);
}

void print_damage_summary(std::FILE* out, const Run& run, const RunEvents& events, const ExtraLines& extra) {
  print_tag_version(out, run);
  const char* const stretches = events.damaged == 1 ? "stretch" : "stretches";
  std::fprintf(out, "\n\nDamaged image: %lu %s skipped, %llu bytes not decoded\n", static_cast<unsigned long>(events.damaged),
               stretches, static_cast<unsigned long long>(events.damaged_bytes));
  std::size_t listed = 0;
  for (const Event& e : events.list) {
    if (e.kind != EventKind::kDamage || listed == kListed) continue;
    ++listed;
    std::fprintf(out, "  %08llX to %08llX, %llu bytes: %s\n", static_cast<unsigned long long>(e.offset),
                 static_cast<unsigned long long>(e.last), static_cast<unsigned long long>(e.last - e.offset + 1),
                 e.text.c_str());
  }
  if (events.damaged > listed) {
    std::fprintf(out, "  and %lu more\n", static_cast<unsigned long>(events.damaged - listed));
  }
  std::fprintf(out, "\nInput: %lu bytes from %s\n\nOutput:\n", static_cast<unsigned long>(run.byte_count), run.input_name);
  print_counts(out, run);
  std::fputs(extra.text, out);
  if (events.failed()) {
    std::fprintf(out, "Failure: %s\n", run.failure_text);
    print_other_failures(out, events);
  }
  std::fprintf(out, "Failure: Damaged image: %llu bytes in %lu %s not decoded\n\n",
               static_cast<unsigned long long>(events.damaged_bytes), static_cast<unsigned long>(events.damaged),
               stretches);
}

void print_failure(std::FILE* out, const Run& run, const RunEvents& events) {
  std::fprintf(out, "Failure: %s\n", run.failure_text);
  print_other_failures(out, events);
}

}  // namespace skelv
