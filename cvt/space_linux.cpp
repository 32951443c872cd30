// Space reservation on Linux: fstatfs and fallocate.
#include "space.h"

#include <fcntl.h>
#include <sys/vfs.h>

namespace {

constexpr decltype(statfs::f_type) ext4Magic = 0xEF53;

}  // namespace

bool reservingPays(int fd) {
    struct statfs fileSystem;
    return fstatfs(fd, &fileSystem) == 0 && fileSystem.f_type == ext4Magic;
}

bool reserveSpace(int fd, std::uint64_t offset, std::uint64_t length) {
    return fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                     static_cast<off_t>(length)) == 0;
}
