// Linux lists a file's extended attributes by name, ACLs among them
// (system.posix_acl_access, system.posix_acl_default).
#include "attributes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>
#include <sys/xattr.h>

namespace {

// The names of the extended attributes of the file at path, or open on fd
// when path is null, but the SELinux label: as a list of zero-ended names
// in a malloc'd block, its length in size; null with size 0 for none, or
// null with size -1 where the list cannot be had.
char* attributeNames(const char* path, int fd, ssize_t& size) {
    for (;;) {
        size = path != nullptr ? listxattr(path, nullptr, 0) : flistxattr(fd, nullptr, 0);
        if (size <= 0) {
            size = size < 0 && errno != ENOTSUP ? -1 : 0;
            return nullptr;
        }
        char* names = static_cast<char*>(std::malloc(static_cast<std::size_t>(size)));
        if (names == nullptr) {
            size = -1;
            return nullptr;
        }
        const ssize_t got = path != nullptr ? listxattr(path, names, static_cast<std::size_t>(size))
                                            : flistxattr(fd, names, static_cast<std::size_t>(size));
        if (got >= 0) {
            // The label moves to the end, out of the list.
            ssize_t kept = 0;
            for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(std::strlen(names + at)) + 1)
                if (std::strcmp(names + at, "security.selinux") != 0) {
                    const std::size_t length = std::strlen(names + at) + 1;
                    std::memmove(names + kept, names + at, length);
                    kept += static_cast<ssize_t>(length);
                }
            size = kept;
            if (kept > 0) return names;
            std::free(names);
            return nullptr;
        }
        std::free(names);
        // The list grew between the calls (ERANGE): ask again.
        if (errno != ERANGE) {
            size = -1;
            return nullptr;
        }
    }
}

}  // namespace

bool dropExtendedAttributes(int fd) {
    ssize_t size = 0;
    char* const names = attributeNames(nullptr, fd, size);
    if (size <= 0) return size == 0;
    for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at)) + 1)
        fremovexattr(fd, names + at);
    std::free(names);
    char* const left = attributeNames(nullptr, fd, size);
    std::free(left);
    return size == 0;
}

// Out of memory or a list that cannot be had counts as some: that only
// keeps the file in place.
bool hasExtendedAttributes(const char* path) {
    ssize_t size = 0;
    std::free(attributeNames(path, -1, size));
    return size != 0;
}
