// File names as the file system stores them. The window sees names as strings decoded with the
// locale; a name whose bytes are not valid in the locale's encoding decodes with replacement
// marks and would no longer name the file. These helpers find the stored bytes again.
#pragma once

#include <QString>
#include <string>

namespace glim {

// The bytes of `name` as stored in `folder` (bytes, with or without a trailing separator):
// the locale's encoding when such an entry exists, otherwise the first entry of the folder
// that the window shows as `name`, otherwise the locale's encoding all the same.
std::string fileSystemName(const std::string& folder, const QString& name);

// A whole absolute path shown by the window, each part found as above.
std::string fileSystemPath(const QString& path);

}  // namespace glim
