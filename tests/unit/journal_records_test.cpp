// A journal's records, read back with their lines, and the check that keeps
// an undo inside the folders the run sorted.
#include <gtest/gtest.h>

#include <string>

#include "journal/record_check.h"
#include "journal/run_history.h"

namespace kelvane::journal {
namespace {

std::string moveOf(const std::string& folder, const std::string& name, const std::string& dateFolder,
                   const std::string& target) {
  return moveRecord({folder, name, dateFolder, target, {}, {}});
}

// Each row is the third line of a journal that is valid without it.
TEST(JournalRecords, EveryRecordThatCouldLeadOutOfItsFolderIsFoundWithItsLine) {
  struct Row {
    const char* what;
    std::string record;
    std::string reason;
  };
  const std::string nul("a\0b", 3);
  const Row rows[] = {
      {"a name with a slash", moveOf("/p", "../x.jpg", "2020-01-01", "x.jpg"),
       "the name \"../x.jpg\" is not a single name"},
      {"an empty name", moveOf("/p", "", "2020-01-01", "x.jpg"), "the name \"\" is not a single name"},
      {"a name that is the parent", moveOf("/p", "..", "2020-01-01", "x.jpg"),
       "the name \"..\" is not a single name"},
      {"a date folder that is the folder", moveOf("/p", "x.jpg", ".", "x.jpg"),
       "the date folder \".\" is not a single name"},
      {"a target with NUL", moveOf("/p", "x.jpg", "2020-01-01", nul),
       "the name in the date folder \"a\\0b\" is not a single name"},
      {"a relative folder", moveOf("p", "x.jpg", "2020-01-01", "x.jpg"),
       "the folder \"p\" is not a whole path"},
      {"a folder with NUL", createRecord("/" + nul, "2020-01-01"),
       "the folder \"/a\\0b\" is not a whole path"},
      {"an absolute date folder made", createRecord("/p", "/tmp/keep"),
       "the date folder \"/tmp/keep\" is not a single name"},
      {"a line that is no record", "move\t/p\tx.jpg\n", "no record this version of Kelvane reads"},
  };
  const std::string header = headerRecord("2020-01-01 10:00:00", 1577872800000000000);
  const std::string valid = createRecord("/p/tab\tline\n", "2020-01-01") +
                            moveOf("/p/tab\tline\n", "a b\\c.jpg", "2020-01-01", "a b\\c (2).jpg");
  EXPECT_TRUE(invalidRecords(readHistory("run", header + valid, "")).empty());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::vector<InvalidRecord> invalid =
        invalidRecords(readHistory("run", header + valid + row.record, ""));
    ASSERT_EQ(invalid.size(), 1u);
    EXPECT_EQ(invalid[0].line, 4u);
    EXPECT_EQ(invalid[0].reason, row.reason);
  }
}

}  // namespace
}  // namespace kelvane::journal
