// Whether a file carries what a new file put in its place would not get:
// ACL entries and other extended attributes.
#pragma once

// Whether the file at path (links followed) has extended attributes that
// a rename would drop: ACL entries, user attributes, capabilities. The
// SELinux label is not counted: a new file in the same folder gets the
// folder's, which the policy gives the old one too. False where the system
// has no way known to ask, and where it says none.
bool hasExtendedAttributes(const char* path);
// Removes from the new file open on fd the extended attributes it took
// from its folder (a default ACL becomes its access ACL), so that it
// gives no one more access than the old file it replaces, which has none
// (hasExtendedAttributes). True when none is left; true, too, where the
// system has no way known to ask.
bool dropExtendedAttributes(int fd);
