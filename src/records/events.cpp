#include "records/events.h"

#include <algorithm>

namespace skelv {
namespace {

void append(RunEvents& events, Event event) {
  if (events.list.size() < kMaxEvents) events.list.push_back(std::move(event));
}

}  // namespace

RunResult result_of(const RunEvents& events) {
  if (events.failed()) return RunResult::kFailed;
  return events.damaged != 0 ? RunResult::kDamaged : RunResult::kCompleted;
}

const char* result_name(RunResult result) {
  switch (result) {
    case RunResult::kCompleted: return "completed";
    case RunResult::kFailed: return "failed";
    case RunResult::kDamaged: return "damaged";
  }
  return "failed";
}

void add_failure(RunEvents& events, std::uint64_t offset, const char* text) {
  ++events.failures;
  events.last_failure = text;
  // A file that can't be created fails again at every record of its kind: one event, counted.
  const auto same = std::find_if(events.list.begin(), events.list.end(), [text](const Event& e) {
    return e.kind == EventKind::kFailure && e.text == text;
  });
  if (same != events.list.end()) {
    ++same->repeats;
    return;
  }
  append(events, Event{EventKind::kFailure, offset, offset, text, 1});
}

void add_damage(RunEvents& events, std::uint64_t first, std::uint64_t last, const char* reason) {
  ++events.damaged;
  events.damaged_bytes += last - first + 1;
  append(events, Event{EventKind::kDamage, first, last, reason, 1});
}

DamageMark damage_mark(const RunEvents& events) {
  return DamageMark{events.list.size(), events.damaged, events.damaged_bytes};
}

void take_back_damage(RunEvents& events, const DamageMark& mark) {
  std::size_t kept = std::min(mark.events, events.list.size());
  for (std::size_t i = kept; i < events.list.size(); ++i) {
    if (events.list[i].kind != EventKind::kDamage) events.list[kept++] = std::move(events.list[i]);
  }
  events.list.resize(kept);
  events.damaged = mark.damaged;
  events.damaged_bytes = mark.damaged_bytes;
}

void add_suspect(RunEvents& events, std::uint64_t offset, const char* reason) {
  if (events.suspects++ == 0) events.first_suspect = offset;
  append(events, Event{EventKind::kSuspect, offset, offset, reason, 1});
}

}  // namespace skelv
