// Runs a fuzz target over files and folders of inputs without a fuzzing engine, so that the
// committed corpora run as plain tests in every build. A broken rule aborts the run.
//
//   fuzz_<target>_replay CORPUS_DIR_OR_FILE...
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::string> inputs_in(const std::string &path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return {};
  if (!S_ISDIR(info.st_mode)) return {path};
  std::vector<std::string> files;
  if (DIR *dir = opendir(path.c_str())) {
    while (dirent *entry = readdir(dir)) {
      if (entry->d_name[0] != '.') files.push_back(path + "/" + entry->d_name);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::vector<std::string> found = inputs_in(argv[i]);
    files.insert(files.end(), found.begin(), found.end());
  }
  if (files.empty()) {
    std::fprintf(stderr, "no inputs in the given paths\n");
    return 1;
  }
  LLVMFuzzerInitialize(&argc, &argv);
  for (const std::string &file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::fprintf(stderr, "%zu inputs passed\n", files.size());
  return 0;
}
