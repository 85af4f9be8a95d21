// Opens an album in headless Chromium and reports what the browser made of each page: its
// character set and text, whether each picture loaded, and where each link leads and
// whether the browser could fetch it.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "percent_decoding.h"

namespace glim::testing {

// The Chromium executable ($GLIM_CHROMIUM, else chromium on the PATH); empty when absent.
std::string findChromium();

// What `command`, run by the shell, writes on its standard output; its wait status in `status`
// when given (-1 when it could not be started).
std::string commandOutput(const std::string& command, int* status = nullptr);

// Every byte but unreserved ASCII and '/' as %XX: how the harness names pages in addresses.
std::string encodeAll(std::string_view text);

struct PageReport {
  std::string charset;
  std::string text;
  std::vector<std::string> images;  // the files the pictures came from, relative to the album
  std::vector<std::string> failedImages;
  std::vector<std::string> links;  // the files the links lead to, relative to the album
  std::vector<std::string> failedLinks;
};

// Writes `folder`/harness.html, which loads each of `pages` (paths relative to `folder`) in
// a frame, opens it at `base` (the folder's address, ending in '/') in Chromium, and gives
// the report of each page by its relative path. Records a test failure when Chromium
// gave no report.
std::map<std::string, PageReport> pagesInBrowser(const std::string& chromium,
                                                 const std::filesystem::path& folder,
                                                 const std::string& base,
                                                 const std::vector<std::string>& pages);

}  // namespace glim::testing
