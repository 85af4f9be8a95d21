// An album run that updates the album already in its folder: the files of an entry whose
// picture and settings are unchanged are kept (renamed where a fresh run names them
// otherwise), pages equal to the file there are not written, and files of the earlier album
// that this one no longer makes are removed. What the folder ends with is what a fresh run
// into a folder of only the user's files makes. Everything it knows of the earlier run is in
// the record (album_record.h); a file the record does not name is the user's and never touched.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "album.h"
#include "album_record.h"
#include "picture_work.h"

namespace glim {

class AlbumUpdate {
 public:
  // `folder` ends in a separator. Reads the record there; trusted() tells whether it could be.
  AlbumUpdate(std::string folder, std::string overviewName);

  // False: a record stood there but was damaged or another's; every file is then made anew,
  // and a file in pics, mini or html under a name the album wants is replaced.
  bool trusted() const { return state_ != RecordState::Damaged; }

  // Whether an entry at `path` (below the folder) may be replaced by this run's file.
  const std::function<bool(const std::string& path)>& replaceable() const { return replaceable_; }

  // The parts of each entry's files (PictureParts) to be made for pictures made with the
  // settings `fingerprint`; 0: the entry keeps all its files.
  std::vector<char> plan(const Album& album, const std::string& fingerprint);
  // Completes the work of entry `index`, which made `parts`, with the files it keeps and what
  // the earlier run learnt of them.
  void keepParts(std::size_t index, int parts, PictureWork& work);

  // Before anything changes: when this run may make a file the record does not name (given
  // as paths below the folder), the record is written with those names added, so that a run
  // killed at any moment leaves no file of its own unknown to the next: before the first
  // change (aboutToChange), the record is written with every name it holds or this run may
  // make claimed as this program's. An unchanged album changes nothing, the record included.
  void claim(const std::vector<std::string>& names);
  // The errno of a failed write of that record, else 0.
  int aboutToChange();
  const std::string& recordPath() const { return recordPath_; }

  // Entry `index` is being placed from `work`.
  void beginEntry(std::size_t index, const PictureWork& work);
  // A file of the entry's work is about to take `path` (after aboutToChange): an earlier file
  // there that an entry keeps is moved aside first.
  void clearWay(const std::string& path);
  void placed(const TemporaryFile* file, const std::string& path, bool written);
  // The entry's files are placed; its picture is recorded when every one of them was written.
  void endEntry(const PictureWork& work, bool complete);

  // True when the file at `path` holds exactly `text` (a page that need not be written).
  static bool holds(const std::string& path, std::string_view text);
  void pageWritten(const std::string& path);

  // The run made every file: earlier files no longer made are removed, and the record is
  // written when it changed. The errno of a failed write of the record, else 0.
  int finish();

 private:
  struct Earlier {
    RecordedOutput recorded;
    std::string at;       // where it stands now, below the folder; empty once taken or gone
    TemporaryFile aside;  // moved out of the way of another file
    bool wanted = false;  // an entry keeps it
  };
  std::string relative(const std::string& path) const;
  void addOutput(const std::string& path, OutputKind kind, int32_t width, int32_t height);
  TemporaryFile take(std::size_t earlier);

  std::string folder_;
  std::string overviewName_;
  std::string recordPath_;
  RecordState state_ = RecordState::Missing;
  AlbumRecord old_;
  std::vector<Earlier> earlier_;
  std::unordered_map<std::string, std::size_t> standing_;  // path below folder -> earlier_
  // Paths the record names, with the stamp each had; a file there since changed or replaced is
  // the user's. A zero stamp: a name an interrupted run claimed, its file unknown.
  std::unordered_map<std::string, RecordedOutput> ours_;
  std::string claims_;         // the record written before the first change; empty once written
  bool recordFailed_ = false;  // writing it failed (and was told)
  bool isOurs(const std::string& below) const;
  std::function<bool(const std::string&)> replaceable_;

  // Per entry: the earlier source whose files it keeps (-1: made anew) and its picture's stamp.
  std::vector<int32_t> kept_;
  std::vector<std::vector<std::size_t>> outputsOf_;  // per earlier source, its outputs in order
  std::vector<std::optional<FileStamp>> sourceStamps_;
  std::vector<uint64_t> hashes_;
  std::vector<std::string> paths_;
  std::string fingerprint_;
  std::unordered_map<std::string, uint64_t> hashCache_;  // path + stamp -> hash

  AlbumRecord next_;
  std::unordered_set<std::string> made_;
  std::size_t entry_ = 0;
  const PictureWork* work_ = nullptr;
  std::vector<std::size_t> entryOutputs_;  // next_.outputs of the entry being placed
  bool entryFailed_ = false;
};

// The settings that shape an entry's pictures: the thumbnail box and what the style makes.
std::string pictureFingerprint(const AlbumSettings& settings, const PictureExtras& extras);

}  // namespace glim
