// The update check's code is linked without the windows it may open: the fuzz target never
// reaches the question or the browser, so these only satisfy the linker.
#include "operations/MsgBox.h"
#include "shell/WebLinks.h"

#include <cstdlib>

namespace toppeek::operations {

int msgBox(unsigned /*flags*/, const char* /*title*/, const char* /*format*/, ...) {
    std::abort();
}

} // namespace toppeek::operations

namespace toppeek::shell {

bool openUrl(const char* /*url*/) {
    std::abort();
}

} // namespace toppeek::shell
