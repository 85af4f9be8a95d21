// The names and sizes album creation gives its files: an entry's base name, the unique file
// name in a folder, and the thumbnail size that fits the thumbnail box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "album_settings.h"

namespace glim {

// The file-name part of `filePath` without its extension (from the last dot on); a name
// without a dot is taken whole, a name that is only an extension gives "".
std::string pictureBaseName(std::string_view filePath);

struct ThumbnailSize {
  int32_t width;
  int32_t height;
  bool operator==(const ThumbnailSize&) const = default;
};

// The largest size with the picture's proportions (rounded down) that fits the box of
// `settings`, width first; smaller pictures are enlarged. Never below 1 pixel either way, so
// a very long thin picture still gets a thumbnail. Picture sizes below 1 count as 1.
ThumbnailSize thumbnailSize(int32_t pictureWidth, int32_t pictureHeight,
                            const AlbumSettings& settings);

// Hands out file names in one folder that no file there has and that this run has not
// handed out yet: base + extension, else base + 0, 1, 2, ... + extension. Every directory
// entry counts as present (a folder or a dangling link too); a name that cannot be checked
// counts as free, and writing it then reports the problem. Names handed out are compared
// without ASCII case, files present as the file system compares them.
//
// Each take checks the folder at that moment, so a file that has appeared since the last
// take is not handed out; but a numbered name found taken is not tried again for the same
// base and extension, so a file removed during the run does not free its name.
//
// A name never exceeds kMaxFileName bytes, the most a file system takes: where base, number
// and extension together are longer, the base is cut (never within a UTF-8 character).
class FolderNames {
 public:
  static constexpr std::size_t kMaxFileName = 255;

  // `folder` ends in a separator.
  explicit FolderNames(std::string folder) : folder_(std::move(folder)) {}

  std::string take(std::string_view base, std::string_view extension);
  // As take, but an entry present under a name for which `replaceable` (given the entry's
  // path) says yes counts as free.
  std::string take(std::string_view base, std::string_view extension,
                   const std::function<bool(const std::string& path)>& replaceable);
  // The first `count` names that take would try for base and extension (given nothing handed
  // out yet) that are free by `replaceable`: those among which `count` takes of base and
  // extension, or of names that these block, find theirs.
  std::vector<std::string> firstFree(
      std::string_view base, std::string_view extension, std::size_t count,
      const std::function<bool(const std::string& path)>& replaceable) const;
  // Counts `name` as handed out, so that no take gives it (or a case variant of it).
  void reserve(std::string_view name);
  const std::string& folder() const { return folder_; }

 private:
  bool present(const std::string& name) const;
  bool handedOut(const std::string& name) const;

  std::string folder_;
  std::unordered_set<std::string> handedOut_;  // without ASCII case
  // Where the numbers start for a base and extension, so that many pictures of one name
  // cost no more than as many of different names. Per exact bytes: every lower number is
  // handed out or was present. Per name without case: every lower number is handed out,
  // which holds for every case variant of the name.
  std::unordered_map<std::string, uint64_t> nextNumber_;
  std::unordered_map<std::string, uint64_t> nextNumberAnyCase_;
};

}  // namespace glim
