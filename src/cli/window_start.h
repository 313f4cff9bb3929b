// Starting the window program from kelvane, and falling back to a run without
// a window when it cannot open one.
#pragma once

namespace kelvane::cli {

// The exit status of kelvane-window when no window can open on the display it
// was given (a stale DISPLAY over ssh or in cron, say): it has shown and done
// nothing, so kelvane can go on without a window.
inline constexpr int kNoWindowCouldOpen = 69;

// Runs kelvane-window (beside this program in a build folder, under
// libexec/kelvane once installed) with the same arguments, and waits for it;
// returns its exit status. Termination signals sent to this process are
// passed on to it.
int runWindowProgram(char** argv);

}  // namespace kelvane::cli
