// Writes an INI file from a separate process, for the tests of concurrent and killed writers.
//   tool_ini_writer <file> keys <section> <prefix> <count>
//       writes <prefix>0 .. <prefix>N-1 one write at a time, each value its own key name
//   tool_ini_writer <file> generations <keys>
//       forever: one batch setting K0 .. K<keys-1> to the generation number, then prints it
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ini/ini_file.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  rk5::IniFile file(argv[1]);
  std::string mode = argv[2];
  if (mode == "keys" && argc == 6) {
    int count = std::atoi(argv[5]);
    for (int i = 0; i < count; ++i) {
      std::string key = std::string(argv[4]) + std::to_string(i);
      if (!file.WriteString(argv[3], key, key)) return 1;
    }
    return 0;
  }
  if (mode == "generations") {
    int keys = std::atoi(argv[3]);
    for (long generation = 1;; ++generation) {
      rk5::IniBatch batch;
      for (int k = 0; k < keys; ++k) {
        batch.WriteString("Tool" + std::to_string(k % 7), "K" + std::to_string(k),
                          std::to_string(generation) + std::string(k % 13, 'x'));
      }
      if (!file.Commit(batch)) return 1;
      std::printf("%ld\n", generation);
      std::fflush(stdout);
    }
  }
  return 2;
}
