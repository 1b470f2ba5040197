// Replays a committed corpus through a fuzz target, without the fuzzer:
//   replay DIRECTORY...
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    DIR* directory = opendir(argv[i]);
    if (!directory) {
      std::fprintf(stderr, "no corpus at %s\n", argv[i]);
      return 1;
    }
    while (dirent* entry = readdir(directory)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream file(std::string(argv[i]) + "/" + entry->d_name, std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
    closedir(directory);
  }
  std::printf("%d inputs replayed\n", inputs);
  return inputs > 0 ? 0 : 1;
}
