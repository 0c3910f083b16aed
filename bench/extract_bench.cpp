// Archive extraction benchmark. Two jobs, driven by bench/extract_bench.sh, which times
// them beside Info-ZIP unzip on the same archive:
//   extract_bench make <zip> <MiB> <files>   writes a Deflate archive of mixed files
//   extract_bench extract <zip> <folder>     unpacks it as the download window does
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "install/archive_extractor.h"

namespace fs = std::filesystem;

namespace {

// Sizes whose mix resembles a tool: many small files, some medium ones, a few large.
std::vector<std::uint64_t> FileSizes(std::uint64_t total, int files, std::mt19937_64& rng) {
  std::vector<double> weights;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < files; ++i) {
    double u = unit(rng);
    weights.push_back(u < 0.80 ? 1 + 15 * unit(rng)        // 80 %: small
                      : u < 0.98 ? 64 + 960 * unit(rng)    // 18 %: medium
                                 : 4096 + 8192 * unit(rng));  // 2 %: large
  }
  double sum = 0;
  for (double w : weights) sum += w;
  std::vector<std::uint64_t> sizes;
  for (double w : weights) sizes.push_back(static_cast<std::uint64_t>(total * (w / sum)));
  return sizes;
}

// Half text-like (compresses about 4:1), a quarter binary-like, a quarter random.
std::string Content(std::uint64_t size, int kind, std::mt19937_64& rng) {
  static const char* words[] = {"tool ",  "value ", "config ", "entry ", "data ",
                                "update ", "the ",  "of ",     "build\n", "path "};
  std::string s;
  s.reserve(size);
  while (s.size() < size) {
    if (kind < 2) {
      s += words[rng() % 10];
    } else if (kind == 2) {
      std::uint64_t r = rng();
      for (int i = 0; i < 8; ++i) s += static_cast<char>((r >> (8 * i)) & (i % 2 ? 0x0f : 0xff));
    } else {
      std::uint64_t r = rng();
      s.append(reinterpret_cast<const char*>(&r), sizeof r);
    }
  }
  s.resize(size);
  return s;
}

int Make(const std::string& zip_path, std::uint64_t mib, int files) {
  std::mt19937_64 rng(20240607);
  fs::path src = fs::path(zip_path).string() + ".src";
  fs::remove_all(src);
  std::vector<std::uint64_t> sizes = FileSizes(mib << 20, files, rng);
  int error = 0;
  zip_t* z = zip_open(zip_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (z == nullptr) return 1;
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "Tool/part%02d/file%04d.%s", i % 40, i,
                  i % 4 < 2 ? "txt" : "bin");
    fs::path file = src / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << Content(sizes[static_cast<std::size_t>(i)], i % 4, rng);
    zip_source_t* s = zip_source_file(z, file.c_str(), 0, -1);
    zip_int64_t index = s ? zip_file_add(z, name, s, 0) : -1;
    if (index < 0 || zip_set_file_compression(z, static_cast<zip_uint64_t>(index),
                                              ZIP_CM_DEFLATE, 6) != 0) {
      std::fprintf(stderr, "make: %s\n", zip_strerror(z));
      return 1;
    }
  }
  if (zip_close(z) != 0) return 1;
  fs::remove_all(src);
  return 0;
}

int Extract(const std::string& zip_path, const std::string& folder) {
  rk5::TArchiveExtractor x;
  x.ExtractOptions = {rk5::eoCreateDirs, rk5::eoRestorePath};
  x.OnConfirmOverwrite = [](std::string&, bool& confirm) { confirm = true; };
  x.OnArchiveProgress = [](rk5::TArchiveExtractor&, std::uint8_t, bool&) {};
  try {
    x.SetFileName(zip_path);
    x.SetBaseDirectory(folder);
    rk5::ExtractResult r = x.ExtractMatching("*.*");
    if (!r.Complete()) {
      std::fprintf(stderr, "extract: %zu entries failed\n", r.failures.size());
      return 1;
    }
  } catch (const rk5::ArchiveError& e) {
    std::fprintf(stderr, "extract: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "make") {
    return Make(args[1], std::stoull(args[2]), std::stoi(args[3]));
  }
  if (args.size() == 3 && args[0] == "extract") return Extract(args[1], args[2]);
  std::fprintf(stderr,
               "usage: extract_bench make <zip> <MiB> <files>\n"
               "       extract_bench extract <zip> <folder>\n"
               "Run bench/extract_bench.sh for the comparison with unzip.\n");
  return 2;
}
