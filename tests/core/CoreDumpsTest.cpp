#include "core/CoreDumps.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// In a child of its own, so that the test process stays as the sanitizers expect it. The child
// says through its status which part did not hold.
TEST(CoreDumpsTest, NoCoreFileAndNotDumpableAfterwards) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!toppeek::core::disableCoreDumps())
            ::_exit(1);
        rlimit limit{};
        if (::getrlimit(RLIMIT_CORE, &limit) != 0 || limit.rlim_cur != 0 || limit.rlim_max != 0)
            ::_exit(2);
        if (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0)
            ::_exit(3);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
