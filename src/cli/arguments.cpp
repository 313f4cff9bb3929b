#include "cli/arguments.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace kelvane::cli {

const char* const kUsage =
    "Usage: kelvane [PATH...]\n"
    "       kelvane --no-window [--preview] [--answer yes|no] [--on-collision stop|skip|rename]\n"
    "                           [--all-media [--video-utc]] PATH...\n"
    "       kelvane --tags [--answer yes|no] FILE\n"
    "       kelvane --runs | --undo [RUN]\n"
    "       kelvane --version | --help\n"
    "\n"
    "Files the photos directly inside each folder PATH (or the file PATH alone) into\n"
    "sub-folders named after the day each was taken (YYYY-MM-DD, from the Exif\n"
    "capture date). Files without a date are reported and left where they are; no\n"
    "existing file is ever replaced.\n"
    "\n"
    "  (no option)      open the window; with PATHs, sort them once it is shown.\n"
    "                   Without a display, or when no window can open on it,\n"
    "                   PATHs are sorted as with --no-window.\n"
    "  --no-window      sort without a window: the log goes to standard output,\n"
    "                   message boxes to standard error as \"[title] prompt\".\n"
    "  --preview        print exactly what --no-window would print at this moment,\n"
    "                   and create, move and write nothing (no window either).\n"
    "  --tags FILE      list the tag table of one file: TagId, DataType, Count,\n"
    "                   ValueOffset and value, tab-separated, one record a line.\n"
    "  --on-collision stop|skip|rename\n"
    "                   what a name already taken in the date folder does: stop\n"
    "                   the run (the default); leave the file and go on; or move\n"
    "                   it as \"NAME (2).EXT\", \"NAME (3).EXT\"... With skip and rename\n"
    "                   a file of the same bytes already there is a duplicate: the\n"
    "                   photo stays, and the log says so.\n"
    "  --all-media      also sort the other photo and video formats by their capture\n"
    "                   date, read from their own Exif block or movie header: TIFF\n"
    "                   and TIFF-based raw files (.dng .cr2 .nef .arw .orf .rw2\n"
    "                   .pef ...), .cr3 .crw .raf .mrw, HEIC/HEIF/AVIF, PNG, WebP,\n"
    "                   QuickTime and MP4 (an Exif date wins over a movie's own).\n"
    "                   A file's kind is told by its first bytes, not its name.\n"
    "  --video-utc      with --all-media: a movie header's creation time (UTC)\n"
    "                   gives its UTC date, not the date of this machine's time\n"
    "                   zone; Apple's creation date key is local time either way.\n"
    "  --runs           list the recorded runs in the order they started: id,\n"
    "                   local start time, files moved, whether running or taken\n"
    "                   back, and the folders sorted (\\t, \\n, \\\\ in their names).\n"
    "                   Every run that moves a file records each move before making\n"
    "                   it, in $XDG_STATE_HOME/kelvane/runs\n"
    "                   (~/.local/state/kelvane/runs).\n"
    "  --undo [RUN]     take back the last run to start (or RUN): every file it moved\n"
    "                   goes back to its name, newest first, then the date folders it\n"
    "                   made go where they are empty. A file changed or gone since,\n"
    "                   or whose name is taken again, is reported and left where it\n"
    "                   is; nothing is replaced. An undo cut short is finished by\n"
    "                   running it again. A run still going is not taken back, nor\n"
    "                   one another undo works on, nor a journal with any record\n"
    "                   that is not valid (each named as JOURNAL:LINE).\n"
    "  --answer yes|no  the answer to Yes/No boxes without a window (default yes).\n"
    "                   After 1,000 Yes/No boxes for one loaded file, the rest of\n"
    "                   that file's boxes are answered as \"Yes to All\" does in\n"
    "                   the window: Yes, without being shown (one line on standard\n"
    "                   error says so). The file then gets the table, and the\n"
    "                   date, that Yes to every box gives, and a damaged file\n"
    "                   cannot keep a run busy for ever. With no, the first box\n"
    "                   ends that file's walk.\n"
    "  --version        print the version.\n"
    "  --help           print this text.\n"
    "  --               end of options: a PATH may then begin with \"-\".\n"
    "\n"
    "A folder named as PATH is sorted where it is, a link to it included; a link\n"
    "named as a file PATH is filed beside itself, by the date of the photo it leads\n"
    "to, which stays where it is. Nothing outside the named folders is changed.\n"
    "\n"
    "Exit status: 0 when every path was handled (for --tags: the file loaded;\n"
    "for --undo: every file went back), 1 when a run stopped on a failure (for\n"
    "--tags: the file did not load; for --undo: a file stayed, no run, or the\n"
    "run refused), 2 for a usage error. A run that stops says where on standard\n"
    "error, \"[Kelvane] Error # <number> <description>: <path>\", and its log ends\n"
    "with \"Stopped: Error # <number> <description>: <path>\".\n";

namespace {

std::optional<Answer> parseAnswer(std::string_view value) {
  if (value == "yes") return Answer::Yes;
  if (value == "no") return Answer::No;
  return std::nullopt;
}

std::optional<OnCollision> parseOnCollision(std::string_view value) {
  if (value == "stop") return OnCollision::Stop;
  if (value == "skip") return OnCollision::Skip;
  if (value == "rename") return OnCollision::Rename;
  return std::nullopt;
}

// "--name VALUE" or "--name=VALUE": the value, with i moved past it; nothing
// when the argument is another option or the value is missing.
std::optional<std::string_view> optionValue(const std::vector<std::string>& arguments, std::size_t& i,
                                            std::string_view name) {
  const std::string_view argument = arguments[i];
  if (argument == name) {
    if (i + 1 == arguments.size()) return std::string_view();
    return std::string_view(arguments[++i]);
  }
  if (argument.size() > name.size() && argument.starts_with(name) && argument[name.size()] == '=') {
    return argument.substr(name.size() + 1);
  }
  return std::nullopt;
}

Invocation usageError(std::string why) {
  Invocation invocation;
  invocation.mode = Mode::UsageError;
  invocation.error = std::move(why);
  return invocation;
}

}  // namespace

Invocation parseArguments(const std::vector<std::string>& arguments, bool hasDisplay) {
  Invocation invocation;
  bool help = false;
  bool version = false;
  bool noWindow = false;
  bool tags = false;
  bool answerGiven = false;
  bool runs = false;
  bool undo = false;
  std::size_t i = 0;
  for (; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--") {
      ++i;
      break;
    }
    if (argument.size() < 2 || argument[0] != '-') break;  // the first path; "-" alone is a path
    if (argument == "--help") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else if (argument == "--no-window") {
      noWindow = true;
    } else if (argument == "--preview") {
      invocation.preview = true;
      noWindow = true;  // a preview never opens the window
    } else if (argument == "--tags") {
      tags = true;
    } else if (argument == "--all-media") {
      invocation.allMedia = true;
    } else if (argument == "--video-utc") {
      invocation.videoUtc = true;
    } else if (argument == "--runs") {
      runs = true;
    } else if (argument == "--undo") {
      undo = true;
      // An optional RUN: the next argument, unless it is an option.
      if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("-")) invocation.runId = arguments[++i];
    } else if (const auto value = optionValue(arguments, i, "--answer")) {
      const auto answer = parseAnswer(*value);
      if (!answer) return usageError("--answer takes yes or no, not \"" + std::string(*value) + "\"");
      invocation.answer = *answer;
      answerGiven = true;
    } else if (const auto policy = optionValue(arguments, i, "--on-collision")) {
      const auto onCollision = parseOnCollision(*policy);
      if (!onCollision) {
        return usageError("--on-collision takes stop, skip or rename, not \"" + std::string(*policy) + "\"");
      }
      invocation.onCollision = *onCollision;
    } else {
      return usageError("unknown option " + std::string(argument));
    }
  }
  invocation.paths.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end());

  // Once every option is known to be valid, --help and --version win.
  if (help || version) {
    Invocation shown;
    shown.mode = help ? Mode::Help : Mode::Version;
    return shown;
  }
  if (invocation.videoUtc && !invocation.allMedia) return usageError("--video-utc goes with --all-media");
  if (invocation.allMedia && (tags || runs || undo)) return usageError("--all-media goes with a sort");
  if (runs || undo) {
    if (runs && undo) return usageError("--runs and --undo go alone");
    if (noWindow || tags || answerGiven || invocation.onCollision || !invocation.paths.empty())
      return usageError(runs ? "--runs goes alone" : "--undo takes at most one RUN, and no other option");
    invocation.mode = runs ? Mode::Runs : Mode::Undo;
    return invocation;
  }
  if (noWindow && tags) return usageError("--no-window and --preview cannot be combined with --tags");
  if (answerGiven && !noWindow && !tags) return usageError("--answer goes with --no-window or --tags");
  if (tags) {
    if (invocation.onCollision) return usageError("--on-collision goes with a sort, not --tags");
    if (invocation.paths.size() != 1) return usageError("--tags takes exactly one FILE");
    invocation.mode = Mode::Tags;
    return invocation;
  }
  if (noWindow && invocation.paths.empty())
    return usageError("--no-window and --preview need at least one PATH");
  if (noWindow || (!hasDisplay && !invocation.paths.empty())) {
    invocation.mode = Mode::NoWindow;
    return invocation;
  }
  if (!hasDisplay) return usageError("there is no display to open the window on; name the folders to sort");
  invocation.mode = Mode::Window;
  return invocation;
}

bool displayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace kelvane::cli
