// The temporary files of outputs being written, inside the file layer: their names, their
// making under a lock, the removal of those that a run which could not clean up left
// behind, and the list that an interrupted program removes before it ends.
#pragma once

#include <string>
#include <string_view>

#ifndef _WIN32
#include <signal.h>
#endif

namespace kivo::temporary {

// ".<target>.<number>.tmp": the name of a temporary beside `target` (a file name).
std::string NameFor(std::string_view target, unsigned number);
// Whether `name` is one of ours for `target`: ".<target>.", 1 to 9 digits, ".tmp".
bool IsNameFor(std::string_view name, std::string_view target);

// Makes the temporary `name` (relative to `directory` on POSIX, a whole UTF-8 path on
// Windows), new and locked for as long as it stays open, so that RemoveStale never takes it:
// its descriptor, or -1 with `error` set (EEXIST when the name is taken).
int CreateLocked(int directory, const std::string& name, int& error);
// Removes the temporaries of `destination` (a path relative to `directory` on POSIX, a whole
// UTF-8 path on Windows) that no running program holds: those left by a run that was killed
// or lost its power. Nothing else is touched, and failures are left for the next run.
void RemoveStale(int directory, const std::string& destination);

// Remembers a temporary so that an interrupted program removes it; POSIX names it relative
// to the open directory `directory`, Windows by its whole UTF-8 path. Returns the slot to
// forget it by, or -1 when every slot is taken (it is then only removed by the next run).
int Remember(int directory, const std::string& name);
// Forgets the temporary of `slot` (renamed or removed); -1 does nothing.
void Forget(int slot);

// Removes every remembered temporary; safe inside a signal handler.
void RemoveRemembered();

#ifndef _WIN32
// While one lives, the signals that end a run wait: a temporary that has got its name is
// remembered before the handler can run, so an interrupt never leaves it behind.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld();
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t saved_;
};
#endif

}  // namespace kivo::temporary
