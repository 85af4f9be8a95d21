#include "test_pictures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace glim::testing {
namespace {

void put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8 & 0xFF);
}
void put32(std::string& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

}  // namespace

void writeBmp(const std::filesystem::path& path, const BmpPicture& picture) {
  const int32_t w = picture.width;
  const int32_t h = picture.height;
  const uint32_t rowBytes = ((static_cast<uint32_t>(w) * picture.bits + 31) / 32) * 4;
  const uint32_t colors = picture.bits == 24 ? 0 : 1u << picture.bits;
  const uint32_t offset = 14 + 40 + 4 * colors;
  std::string out;
  out += "BM";
  put32(out, offset + rowBytes * h);
  put32(out, 0);
  put32(out, offset);
  put32(out, 40);
  put32(out, static_cast<uint32_t>(w));
  put32(out, static_cast<uint32_t>(h));
  put16(out, 1);
  put16(out, static_cast<uint32_t>(picture.bits));
  put32(out, 0);  // no compression
  put32(out, rowBytes * h);
  put32(out, 2835);
  put32(out, 2835);
  put32(out, colors);
  put32(out, 0);
  for (uint32_t i = 0; i < colors; ++i) {
    const Rgb c = i < picture.palette.size() ? picture.palette[i] : Rgb{0, 0, 0};
    out += static_cast<char>(c.blue);
    out += static_cast<char>(c.green);
    out += static_cast<char>(c.red);
    out += '\0';
  }
  for (int32_t stored = 0; stored < h; ++stored) {
    const int32_t y = h - 1 - stored;  // the file's first row is the picture's bottom line
    std::string row(rowBytes, '\0');
    for (int32_t x = 0; x < w; ++x) {
      if (picture.bits == 24) {
        const Rgb c = picture.colorAt(x, y);
        row[3 * x] = static_cast<char>(c.blue);
        row[3 * x + 1] = static_cast<char>(c.green);
        row[3 * x + 2] = static_cast<char>(c.red);
        continue;
      }
      const uint32_t index = picture.indexAt(x, y);
      const int32_t perByte = 8 / picture.bits;
      const int32_t shift = 8 - picture.bits * (x % perByte + 1);
      row[x / perByte] =
          static_cast<char>(static_cast<uint8_t>(row[x / perByte]) | (index << shift));
    }
    out += row;
  }
  std::ofstream file(path, std::ios::binary);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  ASSERT_TRUE(file.good()) << "could not write " << path;
}

void writePlainBmp(const std::filesystem::path& path, int32_t width, int32_t height, Rgb color) {
  BmpPicture picture;
  picture.width = width;
  picture.height = height;
  picture.colorAt = [color](int32_t, int32_t) { return color; };
  writeBmp(path, picture);
}

TemporaryFolder::TemporaryFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  EXPECT_FALSE(path_.empty()) << "no temporary folder";
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  if (path_.empty()) return;
  // A test may have taken permissions away; give them back so that everything goes.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> folderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(folder, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace glim::testing
