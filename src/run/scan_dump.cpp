#include "run/scan_dump.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "output/out_file.h"
#include "records/codes.h"

namespace skelv {
namespace {

// Labels of the codes 0xF1..0xFF, by code - 0xF1. 0xFA is never listed.
constexpr const char* kLabels[] = {
    "F1 Ignore",      "F2 GPS",       "F3 unused",    "F4 unused",   "F5 unused",
    "F6 info",        "F7 unused",    "F8 unused",    "F9 End of data", "FA absolute",
    "FB wet start",   "FC CTD start", "FD CTD end",   "FE dry start", "FF ",
};

constexpr std::size_t kDumpBufferSize = 1 << 16;

// The image read through a descriptor of the dump's own, so that decoding keeps its position.
struct DumpReader {
  int fd = -1;
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t pos = 0;
  std::size_t fill = 0;
};

bool next_byte(DumpReader& in, std::uint8_t& b) {
  if (in.pos == in.fill) {
    in.pos = in.fill = 0;
    ssize_t n;
    do {
      n = ::read(in.fd, in.buffer.get(), kDumpBufferSize);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    in.fill = static_cast<std::size_t>(n);
  }
  b = in.buffer[in.pos++];
  return true;
}

// The next `count` bytes of a record; those that the image lacks at its end are 0.
void take(DumpReader& in, std::uint8_t* out, std::size_t count) {
  std::size_t i = 0;
  while (i < count && next_byte(in, out[i])) ++i;
  std::fill(out + i, out + count, std::uint8_t{0});
}

unsigned u16(const std::uint8_t* b) { return static_cast<unsigned>(b[0] << 8 | b[1]); }
short s16(unsigned v) { return static_cast<short>(v); }
unsigned short hx(std::uint8_t b) { return b; }

// Information record: the 33 bytes after the code, with the first fields shown.
void dump_info(DumpReader& in, OutFile& dump, unsigned long long p) {
  std::uint8_t b[33];
  take(in, b, sizeof b);
  out_printf(dump, "INFO @ %8llX size=%d ver=%u intvl=%u ctd=%u...\n", p, static_cast<int>(b[0]),
             u16(b + 1), u16(b + 3), u16(b + 5));
}

// Dive start: regime byte and 7-byte start time.
void dump_dive_start(DumpReader& in, OutFile& dump, unsigned long long p) {
  std::uint8_t regime = 0;
  take(in, &regime, 1);
  std::uint8_t t[7];
  take(in, t, sizeof t);
  out_printf(dump, "%8llX START_NORMAL regime=%hx Time=%hd/%02hd/%02hd %02hd:%02hd:%02hd.%02hd\n", p, hx(regime),
             s16(1900u + t[0]), s16(t[1]), s16(t[2]), s16(t[3]), s16(t[4]), s16(t[5]), s16(t[6]));
}

// CTD start: the regime byte; for regimes 8 and 12 the start time; for a plausible date
// (2011..2028, month 1..12) 12 more bytes, which open a profile. Returns the bytes taken.
std::uint64_t dump_ctd_start(DumpReader& in, OutFile& dump, unsigned long long p, bool& ctd_open) {
  std::uint8_t regime = 0;
  take(in, &regime, 1);
  std::uint64_t taken = 1;
  if (regime != 8 && regime != 12) return taken;
  std::uint8_t t[7];
  take(in, t, sizeof t);
  out_printf(dump, "%8llX START_CTD\t%hx\t%hd/%02hd/%02hd %02hd:%02hd:%02hd", p + taken, hx(regime),
             s16(1900u + t[0]), s16(t[1]), s16(t[2]), s16(t[3]), s16(t[4]), s16(t[5]));
  taken += 7;
  if (t[0] <= 110 || t[0] >= 129 || t[1] < 1 || t[1] > 12) return taken;  // the line ends with the next code's
  std::uint8_t b[12];
  take(in, b, sizeof b);
  out_printf(dump, "\t%hx%hx %hx%hx %hx%hx %hx%hx %hx%hx %hx%hx", hx(b[0]), hx(b[1]), hx(b[2]), hx(b[3]),
             hx(b[4]), hx(b[5]), hx(b[6]), hx(b[7]), hx(b[8]), hx(b[9]), hx(b[10]), hx(b[11]));
  out_printf(dump, "\t%u\t%u\t%u\t%u\t%u\t%u\n", u16(b), u16(b + 2), u16(b + 4), u16(b + 6), u16(b + 8),
             u16(b + 10));
  ctd_open = true;
  return taken + 12;
}

void dump_codes(DumpReader& in, OutFile& dump, std::int64_t offset) {
  std::uint64_t pos = 0;  // offset in the image of the byte looked at
  if (offset > 0) {
    out_printf(dump, "Skipping %lld bytes\n", static_cast<long long>(offset));
    ::lseek(in.fd, static_cast<off_t>(offset), SEEK_SET);
    pos = static_cast<std::uint64_t>(offset);
  }
  // The dump's own view of CTD profiles; the decoder's ctd_open is left alone.
  bool ctd_open = false;
  std::uint8_t code = 0;
  while (next_byte(in, code)) {
    if (code >= TDRCODE_IGNORE && code != TDRCODE_ABS) {
      const unsigned long long p = pos;
      out_printf(dump, "\n%8llX: %s:", p, kLabels[code - TDRCODE_IGNORE]);
      switch (code) {
        case TDRCODE_INFO:
          dump_info(in, dump, p);
          pos += 33;
          break;
        case TDRCODE_START_NORMAL:
          dump_dive_start(in, dump, p);
          pos += 8;
          break;
        case TDRCODE_START_CTD:
          pos += dump_ctd_start(in, dump, p, ctd_open);
          break;
        case TDRCODE_END_CTD:
          if (ctd_open) {
            ctd_open = false;
            out_printf(dump, "\n%8llX TDR_END_CTD OK\n", p);
          } else {
            out_printf(dump, "\n%8llX ** Error END_CTD (0xFD) out of block**\n", p);
          }
          break;
        default:
          break;
      }
    }
    ++pos;
  }
  out_printf(dump, "\n%8llX: END OF FILE\n", static_cast<unsigned long long>(pos));
}

}  // namespace

std::string scan_dump_path() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/skelv_debug.txt";
}

void write_scan_dump(Decoder& d, const char* input_name, std::int64_t offset) {
  DumpReader in;
  in.fd = ::open(input_name, O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) {
    fail(d, "Can't open TDR data file %s\n", input_name);
    return;
  }
  const std::string path = scan_dump_path();
  OutFile dump;
  // The dump lies in a folder every local user may write: out_open never follows a symbolic
  // link there and never replaces a file that is not a regular file of this user.
  if (!out_open(dump, path.c_str())) {
    ::close(in.fd);
    fail(d, "Can't create scan dump file %s\n", path.c_str());
    return;
  }
  in.buffer = std::make_unique<std::uint8_t[]>(kDumpBufferSize);
  dump_codes(in, dump, offset);
  ::close(in.fd);
  if (!out_close(dump)) fail(d, "Can't write scan dump file %s\n", path.c_str());
}

}  // namespace skelv
