// Writes an album file that lists the given pictures in order, with the default settings:
// the input of a timed run of glimmervellium-create.
#include <cstdio>
#include <string>
#include <vector>

#include "album_file.h"
#include "atomic_file.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: write_bench_album ALBUM.lmf PICTURE...\n");
    return 2;
  }
  std::vector<glim::PictureEntry> entries;
  for (int i = 2; i < argc; ++i) entries.emplace_back().FilePath = argv[i];
  const std::string path = argv[1];
  if (!glim::writeFileAtomically(path, glim::encodeAlbumFile(entries, {}, path))) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}
