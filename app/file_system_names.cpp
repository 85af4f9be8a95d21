#include "file_system_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QStringList>

#include "paths.h"

namespace glim {

namespace {
// A folder of more entries than this is not searched for a name that did not decode.
constexpr long kMaxEntriesSearched = 1L << 20;

bool entryExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}
}  // namespace

std::string fileSystemName(const std::string& folder, const QString& name) {
  const std::string encoded = QFile::encodeName(name).toStdString();
  const std::string prefix = withTrailingSeparator(folder);
  if (entryExists(prefix + encoded) || !name.contains(QChar::ReplacementCharacter)) {
    return encoded;
  }
  DIR* dir = ::opendir(prefix.empty() ? "." : prefix.c_str());
  if (!dir) return encoded;
  std::string found = encoded;
  long seen = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (++seen > kMaxEntriesSearched) break;
    if (QFile::decodeName(entry->d_name) == name) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

std::string fileSystemPath(const QString& path) {
  if (!path.startsWith(QLatin1Char('/'))) return QFile::encodeName(path).toStdString();
  std::string resolved = "/";
  for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    resolved = withTrailingSeparator(resolved) + fileSystemName(resolved, part);
  }
  if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
    resolved = withTrailingSeparator(resolved);
  return resolved;
}

}  // namespace glim
