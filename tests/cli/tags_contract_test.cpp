// kelvane --tags, --version, --help and the usage errors, run as a child
// process in a folder of its own, compared byte for byte with the contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;

const std::string kUnreadable =
    "[Get Directory Entries] Error # 9 Subscript out of range\n\nContinue anyway?\n";

std::string repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

// Every value form in one directory: escaped text with a NUL inside, a short
// text in the entry, Long and negative numbers, a negative rational, a field
// type without a value, the largest tag and type and a count of 2^32 - 1.
std::vector<std::uint8_t> valuesFile() {
  TiffBuilder tiff(ByteOrder::Intel);
  const std::string text("a\\b\x01\x1f\x7f\x80\xe9\xff\0z\0", 12);
  const std::uint32_t textAt = 8 + 2 + 7 * 12 + 4;
  const std::uint32_t rationalAt = textAt + static_cast<std::uint32_t>(text.size());
  tiff.directory({
      {270, kAscii, static_cast<std::uint32_t>(text.size()), tiff.number(textAt)},
      {271, kAscii, 3, TiffBuilder::raw('a', 'b', 0, 0)},
      {274, kShort, 1, tiff.shorts(6, 0)},
      {37377, kSLong, 1, tiff.number(0xFFFFFFFB)},
      {37380, kSRational, 1, tiff.number(rationalAt)},
      {41728, kFloat, 1, tiff.number(0x3F800000)},
      {65535, 65535, 0xFFFFFFFF, tiff.number(0)},
  });
  tiff.text(text);
  tiff.u32(0xFFFFFFFF);
  tiff.u32(3);
  return JpegBuilder().soi().app0().exif(tiff).padding(32).eoi().bytes();
}

const std::string kValuesListing =
    "270\t2\t12\t98\tS:a\\\\b\\x01\\x1F\\x7F\\x80\\xE9\\xFF\\x00z\n"
    "271\t2\t3\t0\tS:\\x00\\x00ba\n"
    "274\t3\t1\t0\tL:6\n"
    "37377\t9\t1\t0\tL:-5\n"
    "37380\t10\t1\t110\tS:-1/3\n"
    "41728\t11\t1\t0\t-\n"
    "65535\t65535\t-1\t0\t-\n";

// A text whose bytes lie past the end of the file, then a good entry: No ends
// the walk with the second record grown but unread, Yes reads it.
std::vector<std::uint8_t> damagedFile() {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{270, kAscii, 5, tiff.number(0x7000)}, {274, kShort, 1, tiff.shorts(7, 0)}});
  return JpegBuilder().soi().exif(tiff).padding(16).eoi().bytes();
}

// IFD0 declares 65535 entries and the file ends there: thousands of failing reads.
std::vector<std::uint8_t> endlessFile() {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.u16(0xFFFF);
  return JpegBuilder().soi().exif(tiff).bytes();
}

class TagsContract : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kelvane-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    write("good.jpg", jpegWithDate("2024:01:02 03:04:05"));
    write("good-mm.jpg", jpegWithDate("2024:01:02 03:04:05", ByteOrder::Motorola));
    write("values.jpg", valuesFile());
    write("damaged.jpg", damagedFile());
    write("endless.jpg", endlessFile());
    TiffBuilder noEntries(ByteOrder::Motorola);
    noEntries.directory({});
    write("no-entries.jpg", JpegBuilder().soi().exif(noEntries).eoi().bytes());
    write("no-exif.jpg", JpegBuilder().soi().app0().padding(64).eoi().bytes());
    write("picture.png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D});
    const fs::path canon = fs::path(KELVANE_SHARED_DIR) / "corpus" / "ianare-canon-40d.jpg";
    fs::copy_file(canon, folder_ / "canon.jpg");
    fs::copy_file(canon, folder_ / "-x.jpg");
  }
  static void TearDownTestSuite() { fs::remove_all(folder_); }

  static void write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(folder_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static ProcessResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), KELVANE_BINARY);
    return runProgram(arguments, folder_.string());
  }

  static inline fs::path folder_;
};

struct ContractRow {
  std::vector<std::string> arguments;
  std::string out;
  std::string err;
  int status;
};

TEST_F(TagsContract, RunsAsTheContractSays) {
  const std::string goodListing = "34665\t4\t1\t0\tL:26\n36867\t2\t20\t44\tS:2024:01:02 03:04:05\n";
  const std::string damagedNo = "270\t2\t5\t28672\t-\n0\t0\t0\t0\t-\n";
  const std::string damagedYes = "270\t2\t5\t28672\t-\n274\t3\t1\t0\tL:7\n";
  const ContractRow rows[] = {
      {{"--tags", "good.jpg"}, goodListing, "", 0},
      {{"--tags", "good-mm.jpg"}, goodListing, "", 0},
      {{"--tags", "values.jpg"}, kValuesListing, "", 0},
      {{"--tags", "no-entries.jpg"}, "", "", 0},
      {{"--tags", "picture.png"}, "", "", 1},
      {{"--tags", "no-exif.jpg"}, "", "", 1},
      {{"--tags", ""}, "", "", 1},
      {{"--tags", "missing.jpg"}, "", "[Open JPEG File] Error # 53 File not found\n\nmissing.jpg\n", 1},
      {{"--tags", "good.jpg/x.jpg"}, "", "[Open JPEG File] Error # 76 Path not found\n\ngood.jpg/x.jpg\n", 1},
      {{"--tags", "damaged.jpg"}, damagedYes, repeat(kUnreadable, 6), 0},
      {{"--tags", "--answer", "yes", "damaged.jpg"}, damagedYes, repeat(kUnreadable, 6), 0},
      {{"--tags", "--answer", "no", "damaged.jpg"}, damagedNo, kUnreadable, 0},
      {{"--tags", "--answer=no", "damaged.jpg"}, damagedNo, kUnreadable, 0},
      {{"--answer=no", "--tags", "damaged.jpg"}, damagedNo, kUnreadable, 0},
      {{"--version"}, "Kelvane 0.1.10\n", "", 0},
  };
  for (const ContractRow& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    const ProcessResult outcome = run(row.arguments);
    EXPECT_EQ(outcome.exitStatus, row.status);
    EXPECT_EQ(outcome.out, row.out);
    EXPECT_EQ(outcome.err, row.err);
  }
}

TEST_F(TagsContract, DoubleDashLetsAPathBeginWithADash) {
  const ProcessResult dashed = run({"--tags", "--", "-x.jpg"});
  EXPECT_EQ(dashed.exitStatus, 0);
  EXPECT_EQ(dashed.err, "");
  EXPECT_TRUE(dashed.out.starts_with("271\t2\t6\t146\tS:Canon\n272\t2\t14\t152\tS:Canon EOS 40D\n"))
      << dashed.out;
  EXPECT_EQ(dashed.out, run({"--tags", "canon.jpg"}).out);
}

TEST_F(TagsContract, UsageErrorsRunNothing) {
  const ProcessResult help = run({"--help"});
  ASSERT_EQ(help.exitStatus, 0);
  EXPECT_EQ(help.err, "");
  for (const char* option : {"--no-window", "--tags", "--answer", "--version", "--"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const std::vector<std::vector<std::string>> usageErrors = {
      {},
      {"--bogus", "damaged.jpg"},
      {"--tags", "-x.jpg"},
      {"--tags", "--answer", "maybe", "damaged.jpg"},
      {"--answer=maybe", "--tags", "damaged.jpg"},
      {"--answer", "no", "damaged.jpg"},
      {"--tags"},
      {"--tags", "damaged.jpg", "good.jpg"},
      {"--tags", "damaged.jpg", "--answer", "no"},
      {"--no-window"},
      {"--no-window", "--answer", "no"},
  };
  for (const auto& arguments : usageErrors) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const ProcessResult outcome = run(arguments);
    EXPECT_EQ(outcome.exitStatus, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(help.out), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("[Get Directory Entries]"), std::string::npos);
  }
}

TEST_F(TagsContract, AFileThatKeepsAskingGetsExactly1001BoxesAndEnds) {
  const ProcessResult outcome = run({"--tags", "--answer", "yes", "endless.jpg"});
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_LT(outcome.seconds, 10.0);
  std::size_t boxes = 0;
  for (std::size_t at = 0; at < outcome.err.size(); at += kUnreadable.size(), ++boxes) {
    ASSERT_EQ(outcome.err.compare(at, kUnreadable.size(), kUnreadable), 0) << "box " << boxes + 1;
  }
  EXPECT_EQ(boxes, 1001u);
  // The table was grown for every declared entry before they were read.
  EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 65535);
}

}  // namespace
}  // namespace kelvane
