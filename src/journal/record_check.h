// Whether a run's records may be acted on. An undo goes where the records
// say, so a journal changed by hand or damaged could steer it outside the
// folders the run sorted: folders must be whole paths, and names, targets
// and date folders single names in a folder. A separate pass over the parsed
// records, so that the records stay plain data.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "journal/run_history.h"

namespace kelvane::journal {

struct InvalidRecord {
  std::size_t line = 0;  // in the journal, counted from 1
  std::string reason;    // "the name \"../x.jpg\" is not a single name"
};

// Every fault of every record, in the order of the journal's lines; none
// when the whole journal may be acted on.
std::vector<InvalidRecord> invalidRecords(const RunHistory& run);

}  // namespace kelvane::journal
