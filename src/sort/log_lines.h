// Every text the log shows, in one place.
#pragma once

#include <cstddef>
#include <string>

#include "platform/basic_types.h"
#include "platform/version.h"

namespace kelvane::log_lines {

inline std::string line(const std::string& text) { return text + std::string(kLineBreak); }

inline std::string banner() {
  return line("Kelvane v." + std::string(version::kShown)) + std::string(kLineBreak);
}

inline std::string hint() {
  return line("Start by drag-dropping image-files or folders here") + std::string(kLineBreak);
}
inline std::string finished() { return line("Finished"); }
// The last line of a run that the user stopped, before the file it names.
inline std::string stoppedByUser(const std::string& name) {
  return line("Stopped by the user before \"" + name + "\"");
}
// The last line of a run that a failure stopped: what failed, and where.
inline std::string stopped(const std::string& failureReport) { return line("Stopped: " + failureReport); }

inline std::string inputDirectory(const std::string& folder) { return line("Input Directory: " + folder); }
inline std::string invalidFile(const std::string& name) { return line("Invalid file: " + name); }
inline std::string noDateFound(const std::string& name) { return line("No date found: " + name); }
// A walk answered "Yes to All" that met so many failures that it stopped.
inline std::string readInPart(const std::string& name) { return line("Read in part, too damaged: " + name); }
inline std::string creatingDirectory(const std::string& dateFolder) {
  return line("Creating Directory \"" + dateFolder + "\"");
}
// Under another name when its own is taken in the date folder.
inline std::string movingText(const std::string& name, const std::string& dateFolder,
                              const std::string& target) {
  const std::string as = target == name ? "" : " as \"" + target + "\"";
  return "Moving \"" + name + "\" to \"" + dateFolder + "\"" + as;
}
inline std::string moving(const std::string& name, const std::string& dateFolder, const std::string& target) {
  return line(movingText(name, dateFolder, target));
}
inline std::string moving(const std::string& name, const std::string& dateFolder) {
  return moving(name, dateFolder, name);
}
// A companion (a raw partner, a sidecar) moving with its photo.
inline std::string movingWith(const std::string& name, const std::string& dateFolder,
                              const std::string& target, const std::string& photo) {
  return line(movingText(name, dateFolder, target) + " with \"" + photo + "\"");
}
inline std::string keptWith(const std::string& raw, const std::string& photo, const std::string& dateFolder,
                            const std::string& ownDateFolder) {
  return line("Keeping \"" + raw + "\" with \"" + photo + "\" in \"" + dateFolder +
              "\"; its own date says \"" + ownDateFolder + "\"");
}
// A companion named on its own stays with its photo; naming the photo moves both.
inline std::string staysWithPhoto(const std::string& companion, const std::string& photo) {
  return line("Keeping \"" + companion + "\" with \"" + photo + "\"");
}
inline std::string nameTaken(const std::string& name, const std::string& dateFolder) {
  return line("Name taken: \"" + name + "\" in \"" + dateFolder + "\"");
}
// A file of the same bytes is there already (under `target`): the photo stays.
inline std::string duplicate(const std::string& name, const std::string& dateFolder,
                             const std::string& target) {
  const std::string as = target == name ? "" : " as \"" + target + "\"";
  return line("Duplicate: \"" + name + "\" in \"" + dateFolder + "\"" + as);
}

// Taking a run back.
inline std::string takingBack(const std::string& id) { return line("Taking back run " + id); }
inline std::string movingBack(const std::string& dateFolder, const std::string& target,
                              const std::string& name) {
  return line("Moving \"" + dateFolder + "/" + target + "\" back to \"" + name + "\"");
}
inline std::string inPlace(const std::string& name) { return line("In place already: \"" + name + "\""); }
inline std::string goneSince(const std::string& dateFolder, const std::string& target) {
  return line("Gone since the run: \"" + dateFolder + "/" + target + "\"");
}
inline std::string changedSince(const std::string& dateFolder, const std::string& target) {
  return line("Changed since the run, left there: \"" + dateFolder + "/" + target + "\"");
}
inline std::string takenSince(const std::string& name, const std::string& dateFolder,
                              const std::string& target) {
  return line("Name taken: \"" + name + "\", so \"" + dateFolder + "/" + target + "\" stays");
}
inline std::string notMovedBack(const std::string& what, const std::string& failureReport) {
  return line("Not moved back: \"" + what + "\": " + failureReport);
}
inline std::string removedDirectory(const std::string& dateFolder) {
  return line("Removed Directory \"" + dateFolder + "\"");
}
inline std::string notTakenBack(std::size_t left, std::size_t files) {
  return line("Not taken back: " + std::to_string(left) + " of " + std::to_string(files) + " files");
}

}  // namespace kelvane::log_lines
