// The reader alone, on real files through the file system of this machine
// with a warm page cache: what one sort step costs before any folder is made
// or file moved.
//
//   BM_LoadAndTag/all            a fresh reader, Load and Tag 36867 for every
//                                corpus photo with an Exif APP1 segment, as the
//                                sort run does; per_file is the CPU time per
//                                photo
//   BM_LoadAndTag/cameras        the same without the fuzzed files (mei-its-*),
//                                a few of which cost milliseconds each
//   BM_LoadAndTagFile/NAME       the same for one photo
//   BM_MarkerScanWorstCase/SIZE  Load of a JPEG of SIZE bytes without any FF E1
//                                pair, which the marker scan reads to its end
//
// The corpus is ../shared/corpus (or $KELVANE_CORPUS): the files whose
// MANIFEST.tsv row says has_exif_app1 = yes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exif/exif_reader.h"
#include "platform/message_box.h"
#include "platform/posix/posix_file_system.h"

namespace {

constexpr kelvane::Long kDateTimeOriginal = 36867;

// Answers like the no-window front end with its default: Yes, and No after
// 1,000 Yes/No boxes for one file, so damaged corpus files end their walks.
class SilentBoxes : public kelvane::MessageBoxes {
 public:
  kelvane::Answer show(const std::string&, const std::string&, kelvane::Buttons buttons,
                       kelvane::Icon) override {
    if (buttons == kelvane::Buttons::Ok) return kelvane::Answer::Ok;
    return ++yesNo_ > 1000 ? kelvane::Answer::No : kelvane::Answer::Yes;
  }
  void fileLoadStarted() override { yesNo_ = 0; }

 private:
  int yesNo_ = 0;
};

std::string corpusFolder() {
  const char* chosen = std::getenv("KELVANE_CORPUS");
  return chosen != nullptr ? chosen : KELVANE_SHARED_DIR "/corpus";
}

std::vector<std::string> exifPhotos(const std::string& folder) {
  std::ifstream manifest(folder + "/MANIFEST.tsv");
  std::vector<std::string> paths;
  std::string line;
  std::getline(manifest, line);  // the header
  while (std::getline(manifest, line)) {
    std::istringstream row(line);
    std::vector<std::string> fields;
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    if (fields.size() > 5 && fields[5] == "yes") paths.push_back(folder + "/" + fields[0]);
  }
  return paths;
}

// One sort step's reading, as the sort run does it: a fresh reader for every
// file, and the tag asked for only when the load succeeded.
bool loadAndTag(kelvane::FileSystem& fileSystem, kelvane::MessageBoxes& boxes, const std::string& path) {
  kelvane::clsExifReader reader(fileSystem, boxes);
  if (!reader.Load(path)) return false;
  kelvane::TagValue value = reader.Tag(kDateTimeOriginal);
  benchmark::DoNotOptimize(value);
  return true;
}

void BM_LoadAndTag(benchmark::State& state, const std::vector<std::string>& paths) {
  kelvane::posix::PosixFileSystem fileSystem;
  SilentBoxes boxes;
  for (const std::string& path : paths) loadAndTag(fileSystem, boxes, path);  // warm the page cache
  for (auto _ : state) {
    for (const std::string& path : paths) benchmark::DoNotOptimize(loadAndTag(fileSystem, boxes, path));
  }
  const auto files = static_cast<double>(paths.size());
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
  state.counters["per_file"] =
      benchmark::Counter(files, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A JPEG start and then filler like entropy-coded data (every FF followed by
// 00): no FF E1 pair anywhere, so the scan reads it to the end.
std::string writeJpegWithoutApp1(std::size_t size) {
  const char* folder = std::getenv("TMPDIR");
  std::string path = std::string(folder != nullptr ? folder : "/tmp") + "/kelvane-scan-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return {};
  std::vector<std::uint8_t> bytes(size);
  std::uint64_t state = 0x2545F4914F6CDD1Du;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  for (std::size_t i = 0; i + 1 < size; ++i) {
    if (bytes[i] == 0xFF) bytes[++i] = 0x00;
  }
  bytes[0] = 0xFF;
  bytes[1] = 0xD8;
  bytes[2] = 0x00;
  const bool written = ::write(fd, bytes.data(), size) == static_cast<ssize_t>(size);
  ::close(fd);
  if (!written) {
    ::unlink(path.c_str());
    return {};
  }
  return path;
}

void BM_MarkerScanWorstCase(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string path = writeJpegWithoutApp1(size);
  if (path.empty()) {
    state.SkipWithError("cannot write the temporary JPEG");
    return;
  }
  kelvane::posix::PosixFileSystem fileSystem;
  SilentBoxes boxes;
  loadAndTag(fileSystem, boxes, path);  // warm the page cache
  for (auto _ : state) {
    if (loadAndTag(fileSystem, boxes, path)) {
      state.SkipWithError("a JPEG without FF E1 was loaded");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
  ::unlink(path.c_str());
}
BENCHMARK(BM_MarkerScanWorstCase)->Arg(1 << 20)->Arg(20 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = corpusFolder();
  const std::vector<std::string> paths = exifPhotos(folder);
  if (paths.empty()) {
    std::fprintf(stderr, "kelvane_reader_bench: no photos listed in %s/MANIFEST.tsv\n", folder.c_str());
    return 1;
  }
  benchmark::RegisterBenchmark("BM_LoadAndTag/all", BM_LoadAndTag, paths)->Unit(benchmark::kMicrosecond);
  std::vector<std::string> cameras;
  for (const std::string& path : paths) {
    if (path.find("/mei-its-") == std::string::npos) cameras.push_back(path);
  }
  benchmark::RegisterBenchmark("BM_LoadAndTag/cameras", BM_LoadAndTag, cameras)
      ->Unit(benchmark::kMicrosecond);
  for (const std::string& path : paths) {
    benchmark::RegisterBenchmark(("BM_LoadAndTagFile/" + path.substr(path.rfind('/') + 1)).c_str(),
                                 BM_LoadAndTag, std::vector<std::string>{path})
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.05);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
