// Linux lists a file's extended attributes by name, ACLs among them
// (system.posix_acl_access, system.posix_acl_default).
#include "attributes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>
#include <sys/xattr.h>

bool hasExtendedAttributes(const char* path) {
    for (;;) {
        const ssize_t size = listxattr(path, nullptr, 0);
        if (size <= 0) return false;
        char* names = static_cast<char*>(std::malloc(static_cast<std::size_t>(size)));
        // Out of memory: as if it had some, which only keeps the file in place.
        if (names == nullptr) return true;
        const ssize_t got = listxattr(path, names, static_cast<std::size_t>(size));
        bool found = false;
        for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(std::strlen(names + at)) + 1)
            if (std::strcmp(names + at, "security.selinux") != 0) found = true;
        std::free(names);
        // The list grew between the calls (ERANGE): ask again.
        if (got >= 0 || errno != ERANGE) return found;
    }
}
