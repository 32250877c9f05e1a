// Replays fuzz inputs through a target without libFuzzer: every file of the folders (or the files)
// named on the command line, so inputs that once crashed a parser keep being checked by the tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static void replay(const fs::path& file, int& count) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ++count;
}

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (fs::is_directory(argv[i], ec)) {
      for (const auto& entry : fs::recursive_directory_iterator(argv[i], ec))
        if (entry.is_regular_file()) replay(entry.path(), count);
    } else if (fs::is_regular_file(argv[i], ec)) {
      replay(argv[i], count);
    } else {
      std::fprintf(stderr, "no corpus at %s\n", argv[i]);
      return 1;
    }
  }
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("replayed %d inputs\n", count);
  return 0;
}
