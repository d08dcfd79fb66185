// Runs a libFuzzer target over files without libFuzzer, so that compilers
// without it (and the sanitizer test build) replay the seed corpus and the
// saved crash files. Arguments are files or directories (read one level).

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    struct stat st;
    if (stat(argv[i], &st) != 0) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    if (!S_ISDIR(st.st_mode)) {
      files += replay(argv[i]);
      continue;
    }
    DIR* dir = opendir(argv[i]);
    if (!dir) return 1;
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name[0] == '.' || name.rfind("README", 0) == 0) continue;
      files += replay(std::string(argv[i]) + "/" + name);
    }
    closedir(dir);
  }
  std::printf("replayed %d files\n", files);
  return 0;
}
