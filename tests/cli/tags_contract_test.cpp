// kelvane --tags and --version run as a child process and compared byte for
// byte with the contract; the option grammar is tabled in arguments_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "child_process.h"
#include "disk_files.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;

const std::string kUnreadable =
    "[Get Directory Entries] Error # 9 Subscript out of range\n\nContinue anyway?\n";

std::string repeat(const std::string& text, std::size_t times) {
  std::string all;
  while (times-- > 0) all += text;
  return all;
}

// Every value form in one directory: escaped text with a NUL inside, a short
// text in the entry, Long and negative numbers, a negative rational, a field
// type without a value, the largest tag and type and a count of 2^32 - 1.
std::vector<std::uint8_t> valuesFile() {
  TiffBuilder tiff(ByteOrder::Intel);
  const std::string text("a\\b\x01\x1f\x7f\x80\xe9\xff\0z\0", 12);
  const std::uint32_t textAt = 8 + 2 + 7 * 12 + 4;
  tiff.directory({
      {270, kAscii, 12, tiff.number(textAt)},
      {271, kAscii, 3, TiffBuilder::raw('a', 'b', 0, 0)},
      {274, kShort, 1, tiff.shorts(6, 0)},
      {37377, kSLong, 1, tiff.number(0xFFFFFFFB)},
      {37380, kSRational, 1, tiff.number(textAt + 12)},
      {41728, kFloat, 1, tiff.number(0x3F800000)},
      {65535, 65535, 0xFFFFFFFF, tiff.number(0)},
  });
  tiff.text(text);
  tiff.u32(0xFFFFFFFF);
  tiff.u32(3);
  return JpegBuilder().soi().app0().exif(tiff).padding(32).eoi().bytes();
}

// A text whose bytes lie past the end of the file, then a good entry: No ends
// the walk with the second record grown but unread, Yes reads it.
std::vector<std::uint8_t> damagedFile() {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{270, kAscii, 5, tiff.number(0x7000)}, {274, kShort, 1, tiff.shorts(7, 0)}});
  return JpegBuilder().soi().exif(tiff).padding(16).eoi().bytes();
}

ProcessResult run(std::vector<std::string> arguments) {
  static const TemporaryFolder folder;
  [[maybe_unused]] static const bool planted = [] {
    TiffBuilder noEntries(ByteOrder::Motorola);
    noEntries.directory({});
    TiffBuilder endless(ByteOrder::Intel);  // 65535 entries declared, and the file ends there
    endless.u16(0xFFFF);
    const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
        {"-good.jpg", jpegWithDate("2024:01:02 03:04:05")},
        {"good-mm.jpg", jpegWithDate("2024:01:02 03:04:05", ByteOrder::Motorola)},
        {"values.jpg", valuesFile()},
        {"damaged.jpg", damagedFile()},
        {"endless.jpg", JpegBuilder().soi().exif(endless).bytes()},
        {"no-entries.jpg", JpegBuilder().soi().exif(noEntries).eoi().bytes()},
        {"no-exif.jpg", JpegBuilder().soi().app0().padding(64).eoi().bytes()},
    };
    for (const auto& [name, bytes] : files) writeBytes(folder.path() + "/" + name, bytes);
    return true;
  }();
  arguments.insert(arguments.begin(), KELVANE_BINARY);
  return runProgram(arguments, folder.path());
}

struct ContractRow {
  std::vector<std::string> arguments;
  std::string out;
  std::string err;
  int status;
};

// Usage errors are tabled in arguments_test; two rows here prove the program
// runs nothing for them, exits 2 and writes the usage to standard error.
TEST(TagsContract, RunsAsTheContractSays) {
  const std::string usage = run({"--help"}).out;
  for (const char* option : {"--no-window", "--tags", "--answer", "--version", "--"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  const std::string good = "34665\t4\t1\t0\tL:26\n36867\t2\t20\t44\tS:2024:01:02 03:04:05\n";
  const std::string damagedNo = "270\t2\t5\t28672\t-\n0\t0\t0\t0\t-\n";
  const std::string damagedYes = "270\t2\t5\t28672\t-\n274\t3\t1\t0\tL:7\n";
  const ContractRow rows[] = {
      {{"--tags", "good-mm.jpg"}, good, "", 0},
      {{"--tags", "--", "-good.jpg"}, good, "", 0},
      {{"--tags", "values.jpg"},
       "270\t2\t12\t98\tS:a\\\\b\\x01\\x1F\\x7F\\x80\\xE9\\xFF\\x00z\n"
       "271\t2\t3\t0\tS:\\x00\\x00ba\n"
       "274\t3\t1\t0\tL:6\n"
       "37377\t9\t1\t0\tL:-5\n"
       "37380\t10\t1\t110\tS:-1/3\n"
       "41728\t11\t1\t0\t-\n"
       "65535\t65535\t-1\t0\t-\n",
       "",
       0},
      {{"--tags", "no-entries.jpg"}, "", "", 0},
      {{"--tags", "no-exif.jpg"}, "", "", 1},
      {{"--tags", "missing.jpg"}, "", "[Open JPEG File] Error # 53 File not found\n\nmissing.jpg\n", 1},
      {{"--tags", "damaged.jpg"}, damagedYes, repeat(kUnreadable, 6), 0},
      {{"--tags", "--answer", "no", "damaged.jpg"}, damagedNo, kUnreadable, 0},
      {{"--version"}, "Kelvane 0.1.10\n", "", 0},
      {{"--help"}, usage, "", 0},
      {{}, "", usage, 2},
      {{"--tags", "damaged.jpg", "--answer", "no"}, "", usage, 2},  // run, it would show a box
  };
  for (const ContractRow& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    const ProcessResult outcome = run(row.arguments);
    EXPECT_EQ(outcome.exitStatus, row.status);
    EXPECT_EQ(outcome.out, row.out);
    if (row.status == 2) {
      EXPECT_TRUE(outcome.err.find(usage) != std::string::npos &&
                  outcome.err.find("[Get") == std::string::npos)
          << outcome.err;
    } else {
      EXPECT_EQ(outcome.err, row.err);
    }
  }
}

// 1,000 boxes shown, then the rest of the walk as "Yes to All" takes it,
// unseen, and at once.
TEST(TagsContract, AFileThatKeepsAskingGets1000BoxesThenYesToAll) {
  const ProcessResult outcome = run({"--tags", "endless.jpg"});
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_LT(outcome.seconds, 5.0);
  EXPECT_TRUE(outcome.err == repeat(kUnreadable, 1000) +
                                 "Kelvane: 1000 boxes for one file; its further boxes are answered Yes to "
                                 "All, without being shown\n")
      << outcome.err.size() / kUnreadable.size() << " boxes' worth of text";
  // The table was grown for every declared entry before they were read.
  EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 65535);
}

}  // namespace
}  // namespace kelvane
