// A generator of valid tag images, written from the record layouts and separate from the test
// encoder and the benchmark generator: every image it makes decodes to its end-of-data code (or
// to the end of the file) without an unknown code, an unknown regime, a burst of 100 samples or
// records nested too deeply. It follows the decoder's state as it writes (tag version, photo
// channels, forced-absolute values, open bursts and profiles, nesting), so it knows which bytes
// end which stream and how many lines each output gets.
#pragma once
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

namespace skelv::valid {

enum class ImageKind {
  kRange,      // the whole range the format allows: every regime, mask and block size, odd dates, nesting
  kRealistic,  // as a working tag writes it: one information record repeated, valid dates in order
};

// Things an image may hold; Coverage::features has bit (1 << Feature) for each one it holds.
enum Feature : int {
  kLeadingBytes,  // bytes before the first start code
  kDatePre1970,   // a dive or CTD start dated before 1970
  kMonthZero,     // month byte 0
  kMonthOver12,   // month byte 13 or more
  kDayZero,       // day byte 0
  kDayOverMonth,  // a day byte past the end of its month
  kHourOver23,
  kSecond60,
  kVersionRepeated,    // an information record with the version of the one before
  kVersionChanged,     // an information record with another version than the one before
  kForcedAbsolute,     // a dive stream of tag version 132 or 133
  kThousandthScale,    // an information record of tag version 173 or more
  kCtdBefore151,       // a CTD start with the light bit under a version below 151 (three columns)
  kCtd151To167,        // ... under a version from 151 to 167
  kCtdAfter167,        // ... under a version above 167
  kCtdUnknownVersion,  // a CTD start before any tag version
  kFiller,             // the ignore code 0xF1 inside a stream
  kUnusedCode,         // 0xF3..0xF5 inside a stream
  kSkippedEnd,         // 0xF9 or 0xFD inside a stream with no burst or profile open
  kEscape,             // an escaped absolute value
  kEatenCode,          // a stream-ending code where a CTD channel after the first or a burst axis after x stands
  kEndMidSample,       // a dive stream that ends after the first channel of a sample
  kRecordLevelEnd,     // 0xF9 or 0xFD as a record of its own
  kTailErased,         // 0xFF fill after the end-of-data code
  kTailData,           // other bytes after the end-of-data code
  kNoEndCode,          // the file ends without an end-of-data code
  kOpenBurstEndsDive,  // a dive stream ended by 0xF9 of a burst left open
  kOpenCastEndsDive,   // a dive stream ended by 0xFD of a profile left open
  kFeatureCount
};

// Stream kinds and the records that stand inside them, for Coverage::nested.
enum StreamKind : int { kDiveStream, kCtdStream, kBurstStream, kStreamKinds };
enum InlineKind : int { kInlineGps, kInlineInfo, kInlineWetdry, kInlineBurst, kInlineCtd, kInlineKinds };

struct Coverage {
  std::bitset<256> regimes, dry_regimes, ctd_masks, info_sizes, gps_entries, photo_channels;
  std::bitset<100> burst_samples;
  bool nested[kStreamKinds][kInlineKinds] = {};
  int deepest = 0;  // deepest nesting of records (a record at top level is 1)
  std::uint64_t features = 0;
  bool has(Feature f) const { return (features >> f) & 1u; }
  void merge(const Coverage& other);
};

// What a plain run of the image gives: the byte count it reports and its data lines per file.
struct Expected {
  std::uint64_t end = 0;  // the byte just past the end-of-data code, or the file size
  std::uint64_t tdr = 0, ctd = 0, gps = 0, acc = 0;
  bool data_after_end = false;  // bytes other than 0xFF follow the end-of-data code
};

struct ValidImage {
  std::vector<std::uint8_t> bytes;
  Expected expected;
  Coverage coverage;
};

// How an image ends.
enum class Ending {
  kSeed,        // as the seed chooses among the others
  kErasedFill,  // the end-of-data code, then erased memory (0xFF bytes)
  kDataAfter,   // the end-of-data code, then bytes that are not all 0xFF
  kCodeOnly,    // the end-of-data code is the last byte
  kNoCode,      // the file ends after a record or inside a stream, without the code
};

struct ImageOptions {
  ImageKind kind = ImageKind::kRange;
  std::size_t size = 0;  // bytes to aim at; 0 lets the seed choose
  Ending ending = Ending::kSeed;
};

ValidImage make_valid_image(std::uint64_t seed, const ImageOptions& options);

const char* kind_name(ImageKind kind);
bool parse_kind(const std::string& text, ImageKind& kind);
bool parse_ending(const std::string& text, Ending& ending);
const char* feature_name(Feature f);

}  // namespace skelv::valid
