#include "space.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Reserving space never changes what a file holds or its size, where it
// works or not; a pipe has no space to reserve, and reserving never pays
// on it.
TEST(Space, ReservingKeepsTheFileAsItIs) {
    char name[] = "/tmp/qav-space-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    const bool pays = reservingPays(fd);
    const bool reserved = reserveSpace(fd, 3, 1 << 20);
    struct stat status {};
    ASSERT_EQ(fstat(fd, &status), 0);
    EXPECT_EQ(status.st_size, 3);
    if (pays) {
        EXPECT_TRUE(reserved) << "a file system where it pays can reserve";
    }
    close(fd);
    unlink(name);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_FALSE(reservingPays(ends[1]));
    EXPECT_FALSE(reserveSpace(ends[1], 0, 4096));
    close(ends[0]);
    close(ends[1]);
}

}  // namespace
