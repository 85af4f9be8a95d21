#include "picodec_test_support.h"

#include <unistd.h>
#include <atomic>

namespace picotest {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("picodec-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::string path = file(name);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {
void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}
}  // namespace

std::vector<uint8_t> makeBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                             const std::vector<uint32_t>& table, const std::vector<uint8_t>& rows) {
  std::vector<uint8_t> v;
  const uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(table.size());
  v.push_back('B');
  v.push_back('M');
  put32(v, offset + static_cast<uint32_t>(rows.size()));
  put32(v, 0);
  put32(v, offset);
  put32(v, 40);
  put32(v, static_cast<uint32_t>(width));
  put32(v, static_cast<uint32_t>(height));
  put16(v, 1);
  put16(v, static_cast<uint32_t>(bits));
  put32(v, compression);
  put32(v, static_cast<uint32_t>(rows.size()));
  put32(v, 2835);
  put32(v, 2835);
  put32(v, bits <= 8 ? static_cast<uint32_t>(table.size()) : 0);  // else: bit-field masks
  put32(v, 0);
  for (uint32_t c : table) put32(v, c);
  v.insert(v.end(), rows.begin(), rows.end());
  return v;
}

std::string testdataDir() {
  const std::string dir = GLIM_TESTDATA_DIR;
  return std::filesystem::exists(dir + "/MANIFEST.tsv") ? dir : std::string();
}

}  // namespace picotest
