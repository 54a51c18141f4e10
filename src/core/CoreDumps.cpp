#include "core/CoreDumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace toppeek::core {

bool disableCoreDumps() {
    // Either one alone keeps the core file away; both, because a limit raised again by a
    // debugger or a wrapper does not undo the other.
    const rlimit none{0, 0};
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}

} // namespace toppeek::core
