// A crash must not leave the passwords the process holds in a core file: the account's own, the
// one typed into a prompt and the copies the log-in made of them.
#pragma once

namespace toppeek::core {

// Stops the process from writing core files (the core limit to 0) and from being dumped or
// attached to by other processes of the same user (not dumpable), as password managers do.
// Called once at start-up; true when both held.
bool disableCoreDumps();

} // namespace toppeek::core
