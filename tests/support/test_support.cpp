#include "support/test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/output_names.h"

namespace skelv::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/skelv-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool file_exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

DecodeTest::DecodeTest() {
  const std::string input = dir.file("tag.bin");
  std::snprintf(run.input_name, sizeof run.input_name, "%s", input.c_str());
  make_output_name(run.tdr_name, "_tdr.txt", run.input_name);
  make_output_name(run.ctd_name, "_ctd.txt", run.input_name);
  make_output_name(run.gps_name, "_gps.txt", run.input_name);
  make_output_name(run.acc_name, "_accel.txt", run.input_name);
  fresh();
}

void DecodeTest::fresh() {
  rs = std::make_unique<RunState>(run);
  rs->decoder.console = [this](const char* text) { console += text; };
}

bool DecodeTest::decode(const ImageBuilder& image, std::int64_t offset, bool scan) {
  image.write_to(run.input_name);
  return decode_input(offset, scan);
}

bool DecodeTest::decode_input(std::int64_t offset, bool scan) {
  return decode_file(
      *rs,
      [this](std::uint64_t off, std::uint32_t t, std::uint32_t c, std::uint32_t g, std::uint32_t a) {
        progress.push_back({off, t, c, g, a});
        on_progress();
      },
      offset, scan);
}

ImageBuilder cut(const ImageBuilder& image, std::size_t n) {
  return ImageBuilder().raw({image.bytes().begin(), image.bytes().begin() + static_cast<std::ptrdiff_t>(n)});
}

void DecodeTest::make_uncreatable(const char* name) { std::filesystem::create_directory(name); }

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  soft_ = old.rlim_cur;
  hard_ = old.rlim_max;
  handler_ = std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{static_cast<rlim_t>(bytes), old.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  const rlimit old{static_cast<rlim_t>(soft_), static_cast<rlim_t>(hard_)};
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler_);
}

std::string DecodeTest::output(TextFile& file) {
  if (!out_is_open(file.file)) return read_file(file.name);
  out_flush(file.file);
  return read_file(file.file.partial);
}

void DecodeTest::attach(const std::vector<std::uint8_t>& bytes) {
  const std::string path = dir.file("stream.bin");
  write_file(path, std::string(bytes.begin(), bytes.end()));
  source_close(rs->input);
  source_attach(rs->input, ::open(path.c_str(), O_RDONLY));
  rs->input.progress = [this](std::uint64_t off) {
    const TextOutput& t = rs->text;
    progress.push_back({off, t.tdr_file.count, t.ctd_file.count, t.gps_file.count, t.acc_file.count});
  };
}

ProcessResult run_command(const std::string& cwd, const std::string& command) {
  ProcessResult r;
  std::FILE* p = ::popen(("cd '" + cwd + "' && " + command).c_str(), "r");
  char buf[4096];
  for (std::size_t n; p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = p == nullptr ? -1 : ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

ProcessResult run_skelv(const std::vector<std::string>& args, const std::string& cwd) {
  std::string command = "'" SKELV_EXE "'";
  for (const std::string& a : args) command += " '" + a + "'";
  return run_command(cwd, command);
}

}  // namespace skelv::test
