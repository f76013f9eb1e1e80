// Helpers shared by the quick-look tests: well-formedness through xmllint, and counting.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace skelv::quicklook::test {

inline constexpr char kXmllint[] = "/usr/bin/xmllint";

inline bool have_xmllint() { return ::access(kXmllint, X_OK) == 0; }

// True when xmllint parses the file at `path` as XML without complaint.
inline bool xml_well_formed(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  const std::string command = std::string(kXmllint) + " --noout " + quoted + "'";
  return std::system(command.c_str()) == 0;
}

inline int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace skelv::quicklook::test
