// The refresh merge of a catalogue of N tool sections x 8 keys into a "Local.ini" that
// already holds those N sections (with its own installed keys), through one batch, beside
// the same merge done one write at a time; then listing and loading the merged entries.
//   build/bench/ini_merge_bench [sections...]      (default: 1250 2500 5000 10000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue_merge.h"
#include "catalogue/program_entry.h"
#include "platform/atomic_file.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string Catalogue(int sections, int offer) {
  std::string out;
  for (int i = 0; i < sections; ++i) {
    std::string n = std::to_string(i);
    out += "[Tool" + n + "]\r\nName=Tool number " + n + "\r\nBy=Publisher " + n +
           "\r\nReadMe=http://tools.example/readme/" + n + ".txt\r\nDL=http://tools.example/zip/" +
           n + ".zip\r\nOBuild=" + std::to_string(offer) + "\r\nOVersion=1." +
           std::to_string(offer) + "\r\nOExeName=tool" + n + ".exe\r\nHome=http://tools.example/" +
           n + "\r\n";
  }
  return out + "[Rk5Helper]\r\nBuild=2\r\nURL=http://tools.example/rk5helper\r\n";
}

std::string Local(int sections) {
  std::string out;
  for (int i = 0; i < sections; ++i) {
    std::string n = std::to_string(i);
    out += "[Tool" + n + "]\r\nName=Tool number " + n + "\r\nOBuild=3\r\nBuild=3\r\nVersion=1.3" +
           "\r\nExeName=tool" + n + ".exe\r\nPath=/opt/Rk5/Tool" + n + "/\r\nInstalled=" +
           std::to_string(i % 2) + "\r\n";
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1250, 2500, 5000, 10000};
  auto dir = std::filesystem::temp_directory_path() / "rk5-merge-bench";
  std::filesystem::create_directories(dir);
  std::string local_file = (dir / "Local.ini").string();

  std::printf("%8s %8s %12s %12s %12s %14s\n", "sections", "writes", "batch ms", "list ms",
              "load ms", "one-by-one ms");
  for (int sections : sizes) {
    std::string remote_text = Catalogue(sections, 4);
    rk5::platform::ReplaceFileAtomically(local_file, Local(sections));
    rk5::IniFile local(local_file);

    auto t0 = Clock::now();
    rk5::IniDocument remote = rk5::IniDocument::Parse(remote_text);
    rk5::IniBatch batch = rk5::MergeBatch(remote);
    if (!local.Commit(batch)) return 1;
    auto t1 = Clock::now();
    auto snapshot = local.Snapshot();
    std::vector<std::string> names = snapshot->Sections();
    auto t2 = Clock::now();
    std::vector<rk5::TProgram> entries = rk5::LoadPrograms(*snapshot);
    auto t3 = Clock::now();
    if (entries.size() != static_cast<std::size_t>(sections)) return 1;

    // One write at a time (each a locked read-modify-replace of the whole file) takes
    // too long at full size: time the first 400 writes and scale to the whole merge.
    rk5::platform::ReplaceFileAtomically(local_file, Local(sections));
    std::size_t sample = std::min<std::size_t>(400, batch.size());
    auto t4 = Clock::now();
    std::size_t done = 0;
    for (const std::string& section : remote.Sections()) {
      for (const std::string& key : remote.Keys(section)) {
        if (done++ == sample) break;
        if (!local.WriteString(section, key, remote.ReadString(section, key, "0"))) return 1;
      }
      if (done > sample) break;
    }
    auto t5 = Clock::now();
    double one_by_one = Ms(t5 - t4) * static_cast<double>(batch.size()) / sample;
    std::printf("%8d %8zu %12.1f %12.1f %12.1f %14.0f%s\n", sections, batch.size(), Ms(t1 - t0),
                Ms(t2 - t1), Ms(t3 - t2), one_by_one,
                sample < batch.size() ? " (scaled from 400)" : "");
  }
  std::filesystem::remove_all(dir);
  return 0;
}
