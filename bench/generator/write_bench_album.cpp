// Writes an album file that lists the given pictures in order, with the default settings:
// the input of a timed run of glimmervellium-create. "--comment N TEXT" first gives entry N
// (from 0) that comment.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "album_file.h"
#include "atomic_file.h"

int main(int argc, char** argv) {
  int first = 1;
  long commented = -1;
  const char* comment = "";
  if (argc > 3 && std::strcmp(argv[1], "--comment") == 0) {
    commented = std::strtol(argv[2], nullptr, 10);
    comment = argv[3];
    first = 4;
  }
  if (argc < first + 1) {
    std::fprintf(stderr, "usage: write_bench_album [--comment N TEXT] ALBUM.lmf PICTURE...\n");
    return 2;
  }
  std::vector<glim::PictureEntry> entries;
  for (int i = first + 1; i < argc; ++i) entries.emplace_back().FilePath = argv[i];
  if (commented >= 0 && static_cast<std::size_t>(commented) < entries.size())
    entries[static_cast<std::size_t>(commented)].Comment = comment;
  const std::string path = argv[first];
  if (!glim::writeFileAtomically(path, glim::encodeAlbumFile(entries, {}, path))) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}
