#include "cli/runs_command.h"

#include <algorithm>
#include <vector>

#include "cli/no_window_command.h"
#include "journal/undo_run.h"
#include "platform/runtime_failure.h"
#include "sort/log_lines.h"

namespace kelvane::cli {
namespace {

std::string stateOf(const journal::RunHistory& run, bool running) {
  if (running) return "running";
  if (run.undone) return "undone";
  return run.movedBack.empty() ? "-" : "partly";
}

// Escaped as in the journal, so that a run stays one line whatever its
// folders are named.
std::string joined(const std::vector<std::string>& folders) {
  std::string text;
  for (const std::string& folder : folders) text += (text.empty() ? "" : ", ") + journal::escaped(folder);
  return text;
}

}  // namespace

int listRuns(const posix::RunStore& store, std::ostream& out, std::ostream& errors) {
  try {
    const std::vector<std::string> ids = store.runIds();
    out << "RUN\tSTARTED\tMOVED\tUNDONE\tFOLDERS\n";
    for (const std::string& id : ids) {
      const journal::RunHistory run = store.read(id);
      out << run.id << '\t' << run.started << '\t' << run.filesMoved() << '\t'
          << stateOf(run, store.running(id)) << '\t' << joined(run.folders()) << '\n';
    }
    return 0;
  } catch (const RuntimeFailure& failure) {
    errors << "[Kelvane] " << failure.report() << '\n';
    return 1;
  }
}

int undoRun(const posix::RunStore& store, const std::string& id, SortedFolders& folders, Log& log,
            std::ostream& errors) {
  try {
    const std::vector<std::string> ids = store.runIds();
    if (ids.empty()) {
      errors << "kelvane: no recorded run to take back (in " << store.folder() << ")\n";
      return 1;
    }
    if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end()) {
      errors << "kelvane: no recorded run " << id << " (kelvane --runs lists them)\n";
      return 1;
    }
    posix::UndoJournal undo(store, id.empty() ? ids.back() : id);
    for (const std::string& line : undo.refusal()) errors << "kelvane: " << line << '\n';
    if (!undo.refusal().empty()) return 1;
    log.append(log_lines::banner());
    return journal::takeBack(undo.run(), folders, undo, log).notBack == 0 ? 0 : 1;
  } catch (const RuntimeFailure& failure) {
    return reportStopped(failure, log, errors);
  }
}

}  // namespace kelvane::cli
