// The lines of the public test suites' MANIFEST.tsv: each picture's path and what it must do
// ("ok", "nocrash", "error", "ref", ...), in file order; empty when the file is absent.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace picotest {

struct ManifestEntry {
  std::string path;
  std::string expect;
};

inline std::vector<ManifestEntry> manifestEntries(const std::string& dir) {
  std::vector<ManifestEntry> entries;
  std::ifstream in(dir + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    ManifestEntry entry;
    std::string bytes, hash;
    std::getline(fields, entry.path, '\t');
    std::getline(fields, bytes, '\t');
    std::getline(fields, hash, '\t');
    std::getline(fields, entry.expect, '\t');
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace picotest
