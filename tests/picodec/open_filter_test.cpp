// The filter text of the readable file types.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "picodec.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

TEST(OpenFilter, FirstEntryCoversEveryMaskOfTheOthers) {
  const char* text = GetDIBOpenFilter();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text, GetDIBOpenFilter());  // static storage
  const auto parts = split(text, '|');
  ASSERT_GE(parts.size(), 4u);
  ASSERT_EQ(parts.size() % 2, 0u) << "description and mask pairs";
  const auto all = split(parts[1], ';');
  size_t masks = 0;
  for (size_t i = 3; i < parts.size(); i += 2) {
    for (const auto& mask : split(parts[i], ';')) {
      ++masks;
      EXPECT_NE(std::find(all.begin(), all.end(), mask), all.end()) << mask;
      EXPECT_EQ(mask.rfind("*.", 0), 0u) << mask;
    }
  }
  EXPECT_EQ(masks, all.size());
  for (const char* type :
       {"*.bmp", "*.jpg", "*.jpeg", "*.png", "*.gif", "*.tif", "*.webp", "*.dng", "*.cr3"}) {
    EXPECT_NE(std::find(all.begin(), all.end(), type), all.end()) << type;
  }
}

}  // namespace
