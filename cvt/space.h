// Reserving the space of a large output ahead of its writes, where the file
// system makes that pay.
#pragma once

#include <cstdint>

// Whether reserving pays for the file open on fd. ext4 accounts for a
// file's space page by page as it is first written; reserving the next
// 8 MiB of a large output in one call makes its writes about a third
// cheaper. Elsewhere it does not: on XFS the writes took three times as
// long, on btrfs and tmpfs a little longer.
bool reservingPays(int fd);
// Reserves length bytes from offset without changing the file's size;
// false where the file system cannot (a failed call may still have taken
// part of the space: the end of the output gives back what is past it).
bool reserveSpace(int fd, std::uint64_t offset, std::uint64_t length);
