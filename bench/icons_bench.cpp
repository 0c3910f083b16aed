// Building both icon bitmaps for 500 installed tools, as the list's loading does it:
// tools whose executables are PE programs (256 KiB of code, then a group of 16, 32 and 48
// bitmaps and a 256 PNG), and tools whose file is an image (a PNG of 256 or of 48 pixels). Run:
// build/bench/icons_bench [entries] [rounds]
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gui/main/icon_bitmaps.h"
#include "ini/ini_document.h"
#include "platform/icon_extraction.h"
#include "support/pe_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

// A scratch folder removed at the end.
struct Scratch {
  Scratch() {
    path = std::filesystem::temp_directory_path() /
           ("rk5-icons-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path);
  }
  ~Scratch() { std::filesystem::remove_all(path); }
  std::string folder() const { return path.string() + "/"; }
  std::filesystem::path path;
};

void Write(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    std::exit(1);
  }
}

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::vector<uint32_t> Pattern(int side, uint32_t seed) {
  std::vector<uint32_t> p(static_cast<size_t>(side) * side);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const uint32_t alpha =
          (x - side / 2) * (x - side / 2) + (y - side / 2) * (y - side / 2) < side * side / 4 ? 0xFF
                                                                                              : 0;
      p[static_cast<size_t>(y) * side + x] = alpha << 24 | ((x * 255 / side + seed) & 0xFF) << 16 |
                                             ((y * 255 / side + seed * 3) & 0xFF) << 8 |
                                             (seed * 7 & 0xFF);
    }
  }
  return p;
}

std::string Program(uint32_t seed) {
  rk5::test::PeSpec recipe;
  recipe.pe32_plus = seed % 2 == 1;
  recipe.code_bytes = 256 * 1024;
  rk5::test::IconGroupSpec group;
  for (int side : {16, 32, 48}) {
    group.images.push_back(
        {side, side, 32, rk5::test::DibIcon(side, side, Pattern(side, seed), 32)});
  }
  group.images.push_back({256, 256, 32, rk5::test::PngImage(256, 256, Pattern(256, seed))});
  recipe.groups.push_back(group);
  return rk5::test::BuildPe(recipe).bytes;
}

// Writes count tool files made by make and a catalogue that points at them.
rk5::IniDocument Catalogue(const Scratch& dir, const char* prefix, int count,
                           const std::function<std::string(uint32_t)>& make) {
  std::string ini;
  for (int i = 0; i < count; ++i) {
    const std::string name = prefix + std::to_string(i);
    Write(dir.path / name, make(static_cast<uint32_t>(i)));
    ini += "[" + name + "]\nName=" + name + "\nPath=" + dir.folder() + "\nExeName=" + name +
           "\nInstalled=1\nBuild=1\nOBuild=1\n";
  }
  return rk5::IniDocument::Parse(ini);
}

struct Figures {
  double load = 0;     // LoadPrograms with the icon step, whole
  double extract = 0;  // of which finding and decoding the icons
  double dim = 0;      // of which making the two bitmaps
};

Figures Measure(const rk5::IniDocument& local, rk5::platform::IconExtraction& icons,
                const std::string& folder, const char* prefix, int count) {
  Figures f;
  auto t0 = Clock::now();
  const std::vector<rk5::TProgram> entries = rk5::LoadPrograms(local, rk5::MakeIconBuilder(icons));
  f.load = Millis(Clock::now() - t0);
  size_t with_icons = 0;
  for (const rk5::TProgram& e : entries) with_icons += e.IconNormal && e.IconSelected ? 1 : 0;
  if (with_icons != static_cast<size_t>(count)) {
    std::fprintf(stderr, "only %zu of %d entries got icons\n", with_icons, count);
    std::exit(1);
  }

  std::vector<std::optional<rk5::platform::IconPicture>> pictures;
  t0 = Clock::now();
  for (int i = 0; i < count; ++i) {
    pictures.push_back(icons.FirstIcon(folder + prefix + std::to_string(i)));
  }
  f.extract = Millis(Clock::now() - t0);
  t0 = Clock::now();
  size_t checksum = 0;
  for (const auto& p : pictures) {
    rk5::IconBitmap icon{p->width, p->height, p->pixels};
    checksum += rk5::MakeIconBitmap(&icon, rk5::kIconNormalPercent).pixels[500];
    checksum += rk5::MakeIconBitmap(&icon, rk5::kIconSelectedPercent).pixels[500];
  }
  f.dim = Millis(Clock::now() - t0);
  if (checksum == 0) std::fprintf(stderr, "(checksum %zu)\n", checksum);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const Scratch dir;
  const rk5::IniDocument programs = Catalogue(dir, "pe", count, Program);
  const rk5::IniDocument images = Catalogue(dir, "png", count, [](uint32_t seed) {
    return rk5::test::PngImage(256, 256, Pattern(256, seed));
  });
  const rk5::IniDocument small_images = Catalogue(dir, "small", count, [](uint32_t seed) {
    return rk5::test::PngImage(48, 48, Pattern(48, seed));
  });
  std::printf("%d entries, %d rounds (best and median, files in the page cache)\n", count, rounds);
  std::unique_ptr<rk5::platform::IconExtraction> icons = rk5::platform::MakeIconExtraction();
  for (auto [label, local, prefix] : {std::tuple{"PE programs", &programs, "pe"},
                                      std::tuple{"PNG images 256 x 256", &images, "png"},
                                      std::tuple{"PNG images 48 x 48", &small_images, "small"}}) {
    std::vector<Figures> runs;
    for (int r = 0; r < rounds; ++r)
      runs.push_back(Measure(*local, *icons, dir.folder(), prefix, count));
    auto report = [&runs](const char* what, double Figures::*field) {
      std::vector<double> v;
      for (const Figures& f : runs) v.push_back(f.*field);
      std::sort(v.begin(), v.end());
      std::printf("  %-36s best %7.1f ms  median %7.1f ms\n", what, v.front(), v[v.size() / 2]);
    };
    std::printf("%s:\n", label);
    report("load entries with both bitmaps", &Figures::load);
    report("  of which: first icon of each file", &Figures::extract);
    report("  of which: 2 dimmed bitmaps each", &Figures::dim);
  }
  return 0;
}
