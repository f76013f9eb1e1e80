#include "runs/skelv_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_map>

#include <nlohmann/json.hpp>

extern char** environ;

namespace skelv::runs {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs `args` with standard output and error into files; the exit status, or -1.
int spawn(std::vector<std::string> args, const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "can't run %s\n", argv[0]);
    std::exit(2);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The values of a NetCDF file, one line "variable: value" each, from what ncdump prints after
// "data:" (the attributes before it name the command line, which differs between the runs). A
// damage note is an entry of the event variables; it is left out like the text files' notes.
std::vector<std::string> netcdf_data(const std::string& path) {
  const std::string text_path = path + ".cdl", err = path + ".err";
  spawn({"ncdump", path}, text_path, err);
  const std::string text = slurp(text_path);
  std::remove(text_path.c_str());
  std::remove(err.c_str());
  std::vector<std::pair<std::string, std::vector<std::string>>> variables;
  std::size_t i = text.find("\ndata:\n");
  i = i == std::string::npos ? text.size() : i + 7;
  while (i < text.size()) {
    const std::size_t eq = text.find(" = ", i);
    if (eq == std::string::npos) break;
    std::string name = text.substr(i, eq - i);
    // The name after any group's own "data:" line that stands before it.
    if (const std::size_t blank = name.find_last_of(" \n"); blank != std::string::npos) name.erase(0, blank + 1);
    std::vector<std::string> values(1);
    bool quoted = false;
    for (i = eq + 3; i < text.size() && (quoted || text[i] != ';'); ++i) {
      const char c = text[i];
      if (quoted && c == '\\' && i + 1 < text.size()) {
        values.back() += text.substr(i++, 2);
      } else if (c == '"') {
        quoted = !quoted;
        values.back() += c;
      } else if (!quoted && c == ',') {
        values.emplace_back();
      } else if (quoted || (c != ' ' && c != '\n')) {
        values.back() += c;
      }
    }
    ++i;
    variables.emplace_back(name, values);
  }
  std::vector<bool> damage;
  for (const auto& [name, values] : variables) {
    if (name != "event_text") continue;
    for (const std::string& v : values) damage.push_back(v.rfind("\"Damaged:", 0) == 0);
  }
  std::vector<std::string> lines;
  for (const auto& [name, values] : variables) {
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (name.rfind("event_", 0) == 0 && k < damage.size() && damage[k]) continue;
      lines.push_back(name + ": " + values[k]);
    }
  }
  return lines;
}

// The JSON report, one line "/path/of/value: value" each, without what damage notes change: the
// command line, the damaged stretches and the bytes, notes and end offset they account for, the
// files' sizes; a result "damaged" reads "completed".
std::vector<std::string> report_data(const std::string& path) {
  nlohmann::json j = nlohmann::json::parse(slurp(path), nullptr, false);
  std::vector<std::string> lines;
  if (j.is_discarded() || !j.is_object()) return {"unreadable report"};
  for (const char* key : {"command_line", "damaged_stretches", "damaged_bytes", "notes"}) j.erase(key);
  if (j.value("result", "") == "damaged") j["result"] = "completed";
  if (j.contains("input")) {
    j["input"].erase("end_offset");  // past a skipped end the run reads to the end of the input
    j["input"].erase("bytes_decoded");
    j["input"].erase("bytes_not_decoded");
  }
  if (j.contains("files")) {
    for (auto& f : j["files"]) f.erase("bytes");
  }
  const nlohmann::json flat = j.flatten();
  for (const auto& [key, value] : flat.items()) lines.push_back(key + ": " + value.dump());
  return lines;
}

bool ends_with(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

const std::vector<std::string>& text_suffixes() {
  static const std::vector<std::string> kSuffixes = {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"};
  return kSuffixes;
}

std::string output_path(const std::string& image, const std::string& suffix) {
  const std::size_t slash = image.rfind('/');
  const std::size_t dot = image.rfind('.');
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_extension ? image.substr(0, dot) : image) + suffix;
}

void write_image(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> read_image(const std::string& path) {
  const std::string text = slurp(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

SkelvRun run_skelv(const std::string& skelv, const std::string& image, const std::vector<std::string>& switches,
                   const std::vector<std::string>& suffixes) {
  for (const std::string& s : suffixes) std::remove(output_path(image, s).c_str());
  const std::string out = output_path(image, ".console"), err = output_path(image, ".errors");
  std::vector<std::string> args = {skelv, image};
  args.insert(args.end(), switches.begin(), switches.end());
  SkelvRun run;
  run.status = spawn(args, out, err);
  run.console = slurp(out);
  run.errors = slurp(err);
  for (const std::string& s : suffixes) {
    OutputFile f{s, false, {}};
    const std::string path = output_path(image, s);
    f.exists = ::access(path.c_str(), F_OK) == 0;
    if (f.exists) {
      f.lines = ends_with(s, ".nc") ? netcdf_data(path) : ends_with(s, ".json") ? report_data(path) : split_lines(slurp(path));
    }
    run.files.push_back(std::move(f));
  }
  return run;
}

bool is_data_line(const std::string& line) {
  return !line.empty() && line[0] != '@' && line.rfind("DATE(", 0) != 0 && line.rfind("HAULOUT", 0) != 0 &&
         line.rfind("***", 0) != 0 && line.find(": Illegal") == std::string::npos;
}

bool is_damage_note(const std::string& line) {
  return line.size() > 19 && line[0] == '@' && line.compare(9, 10, ": Damaged:") == 0;
}

long long reported_bytes(const std::string& console) {
  const std::size_t at = console.find("\nInput: ");
  return at == std::string::npos ? -1 : std::strtoll(console.c_str() + at + 8, nullptr, 10);
}

std::string clean_run_problem(const valid::Expected& expected, const SkelvRun& plain) {
  std::ostringstream why;
  if (plain.status != 0) why << "exit status " << plain.status << "; ";
  if (plain.console.find("\nCompleted.\n") == std::string::npos) why << "no \"Completed.\"; ";
  const long long bytes = reported_bytes(plain.console);
  if (bytes != static_cast<long long>(expected.end)) {
    why << "ended at byte " << bytes << ", not " << expected.end << "; ";
  }
  if (!plain.errors.empty() && !(expected.data_after_end && plain.errors.find("damage stopped") != std::string::npos)) {
    why << "standard error: " << plain.errors.substr(0, 200) << "; ";
  }
  const std::uint64_t want[] = {expected.tdr, expected.ctd, expected.gps, expected.acc};
  for (std::size_t k = 0; k < 4 && k < plain.files.size(); ++k) {
    const auto& lines = plain.files[k].lines;
    const auto got = static_cast<std::uint64_t>(std::count_if(lines.begin(), lines.end(), is_data_line));
    if (got != want[k]) why << plain.files[k].suffix << " has " << got << " data lines, not " << want[k] << "; ";
  }
  return why.str();
}

std::vector<FileDiff> compare_runs(const SkelvRun& plain, const SkelvRun& recovered) {
  std::vector<FileDiff> diffs;
  for (std::size_t k = 0; k < plain.files.size() && k < recovered.files.size(); ++k) {
    const std::vector<std::string>& p = plain.files[k].lines;
    std::vector<std::string> r;
    std::copy_if(recovered.files[k].lines.begin(), recovered.files[k].lines.end(), std::back_inserter(r),
                 [](const std::string& line) { return !is_damage_note(line); });
    FileDiff d{plain.files[k].suffix, p.size(), 0, 0, false};
    if (p != r || plain.files[k].exists != recovered.files[k].exists) {
      std::unordered_map<std::string, long long> count;
      for (const std::string& line : p) ++count[line];
      for (const std::string& line : r) --count[line];
      for (const auto& [line, n] : count) (n > 0 ? d.lost : d.added) += static_cast<std::uint64_t>(n > 0 ? n : -n);
      d.reordered = d.lost == 0 && d.added == 0;
    }
    diffs.push_back(d);
  }
  return diffs;
}

}  // namespace skelv::runs
