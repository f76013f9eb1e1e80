// The scan dump: a listing of the record codes of an image, written before decoding.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "run/driver.h"
#include "run/scan_dump.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

// Sends the dump into the test's folder through TMPDIR and puts TMPDIR back afterwards.
class ScanDump : public DecodeTest {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TMPDIR")) saved_ = old;
    setenv("TMPDIR", dir.path().c_str(), 1);
  }
  void TearDown() override { saved_ ? setenv("TMPDIR", saved_->c_str(), 1) : unsetenv("TMPDIR"); }
  std::string dump_of(const ImageBuilder& image) {
    image.write_to(run.input_name);
    write_scan_dump(rs->decoder, run.input_name, 0);
    return read_file(dir.file("skelv_debug.txt"));
  }
  std::optional<std::string> saved_;
};

TEST_F(ScanDump, ListsEveryCodeAndDecodesInformationDiveAndCtdStarts) {
  ImageBuilder image;
  // 0: information record; the dump takes 33 bytes after the code (an 0xF8 among them is not listed).
  image.code(0xF6).raw({24, 0x00, 78, 0x00, 100, 0x00, 50}).zeros(25).raw({0xF8});
  image.raw({0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF7, 0xF8, 0xF9, 0xFA, 0x05});  // 34..41 listed; 42, 43 not codes
  image.code(0xFB).raw({0xFF, 120, 1, 2, 3, 4, 5, 6});          // 44: dive start, regime ff
  // 53: CTD start that passes, regime at 54, time 55..61, 12 bytes 62..73.
  image.code(0xFC).raw({8, 120, 3, 4, 5, 6, 7, 9});
  image.raw({0x01, 0x02, 0x0A, 0x0B, 0x10, 0xFF, 0x00, 0x00, 0x12, 0x34, 0xAB, 0xCD});
  image.raw({0xFD, 0xFD, 0xFC, 3});  // 74: ends the profile; 75: out of block; 76: regime 3, label only
  image.code(0xFC).raw({12, 129, 1, 2, 3, 4, 5, 0});  // 78: year 2029 fails
  image.code(0xFC).raw({8, 110, 5, 1, 0, 0, 0, 0});   // 87: year 2010 fails
  image.code(0xFC).raw({8, 111, 13, 1, 0, 0, 0, 0});  // 96: month 13 fails
  image.code(0xFC).raw({8, 128, 0, 1, 0, 0, 0, 0});   // 105: month 0 fails
  image.raw({0xFD, 0xFE, 0xFF});                     // 114..116; the scan goes on after 0xFF
  // 117: CTD start cut after 3 of its 12 bytes: the rest print as 0 and the position moves by
  // 1 + 7 + 12 + 1 to 138 = 8A.
  image.code(0xFC).raw({8, 128, 12, 31, 23, 59, 58, 0, 0x12, 0x34, 0x56});
  EXPECT_EQ(dump_of(image),
            "\n       0: F6 info:INFO @        0 size=24 ver=78 intvl=100 ctd=50...\n"
            "\n      22: F1 Ignore:\n      23: F2 GPS:\n      24: F3 unused:\n      25: F4 unused:"
            "\n      26: F5 unused:\n      27: F7 unused:\n      28: F8 unused:\n      29: F9 End of data:"
            "\n      2C: FB wet start:      2C START_NORMAL regime=ff Time=2020/01/02 03:04:05.06\n"
            "\n      35: FC CTD start:      36 START_CTD\t8\t2020/03/04 05:06:07"
            "\t12 ab 10ff 00 1234 abcd\t258\t2571\t4351\t0\t4660\t43981\n"
            "\n      4A: FD CTD end:\n      4A TDR_END_CTD OK\n"
            "\n      4B: FD CTD end:\n      4B ** Error END_CTD (0xFD) out of block**\n\n      4C: FC CTD start:"
            "\n      4E: FC CTD start:      4F START_CTD\tc\t2029/01/02 03:04:05"
            "\n      57: FC CTD start:      58 START_CTD\t8\t2010/05/01 00:00:00"
            "\n      60: FC CTD start:      61 START_CTD\t8\t2011/13/01 00:00:00"
            "\n      69: FC CTD start:      6A START_CTD\t8\t2028/00/01 00:00:00"
            "\n      72: FD CTD end:\n      72 ** Error END_CTD (0xFD) out of block**\n"
            "\n      73: FE dry start:\n      74: FF :"
            "\n      75: FC CTD start:      76 START_CTD\t8\t2028/12/31 23:59:58"
            "\t1234 560 00 00 00 00\t4660\t22016\t0\t0\t0\t0\n\n      8A: END OF FILE\n");
  // Without codes (0xFA is none): one empty line and the end line.
  EXPECT_EQ(dump_of(ImageBuilder().raw({0x00, 0xFA, 0x10})), "\n       3: END OF FILE\n");
}

TEST_F(ScanDump, GoesToTmpWhenTmpdirIsUnsetOrEmpty) {
  EXPECT_EQ(scan_dump_path(), dir.file("skelv_debug.txt"));
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(scan_dump_path(), "/tmp/skelv_debug.txt");
  unsetenv("TMPDIR");
  EXPECT_EQ(scan_dump_path(), "/tmp/skelv_debug.txt");
}

TEST_F(ScanDump, DecodingAfterTheDumpGivesTheSameFilesAsWithoutIt) {
  // A dive start at 10, skipped by the start offset 256. At 256 (100h) an information record,
  // whose 33 bytes in the dump run to 289; at 282 a burst with 0xFD in place of x at 289 (no
  // profile open for the decoder: passed over), x + 5, its 0xF9 at 293 (125h) and 0xFF at 294.
  // A CTD start after them, at 295, leaves the dump's profile open, not the decoder's.
  ImageBuilder image;
  image.zeros(10).code(TDRCODE_START_NORMAL).zeros(245).info(InfoBlock{}).acc_start(256, 256, 256);
  image.raw({0xFD}).step(5).step(0).step(0).acc_end().eof();
  image.code(0xFC).raw({8, 120, 1, 1, 0, 0, 0, 0}).zeros(12).write_to(run.input_name);
  // One block of two samples over 99..100 s: 256 -> -15 g, 261 -> -14.98046875 g.
  const std::string acc_file = "DATE(UTC)\tX\tY\tZ\n"
                               "1970/01/01 00:01:39.000\t-15.0000\t-15.0000\t-15.0000\n"
                               "1970/01/01 00:01:39.500\t-14.9805\t-15.0000\t-15.0000\n";
  // Decoded without the dump and with it.
  for (const bool scan : {false, true}) {
    SCOPED_TRACE(scan);
    skelv::Run scanned_run = run;
    RunState scanned(scanned_run);
    scanned.decoder.deployment.time_base = 100.0;
    EXPECT_TRUE(decode_file(scanned, nullptr, 256, scan));
    EXPECT_EQ(std::string(scanned_run.failure_text), "");
    EXPECT_EQ(read_file(run.acc_name), acc_file);
    EXPECT_EQ(scanned_run.byte_count, 295u);
  }
  EXPECT_EQ(read_file(dir.file("skelv_debug.txt")),
            "Skipping 256 bytes\n\n     100: F6 info:INFO @      100 size=24 ver=0 intvl=0 ctd=0...\n"
            "\n     125: F9 End of data:\n     126: FF :"
            "\n     127: FC CTD start:     128 START_CTD\t8\t2020/01/01 00:00:00"
            "\t00 00 00 00 00 00\t0\t0\t0\t0\t0\t0\n\n     13C: END OF FILE\n");
}

}  // namespace
}  // namespace skelv::test
