// Whether a file carries what a new file put in its place would not get:
// ACL entries and other extended attributes.
#pragma once

// Whether the file at path (links followed) has extended attributes that
// a rename would drop: ACL entries, user attributes, capabilities. The
// SELinux label is not counted: a new file in the same folder gets the
// folder's, which the policy gives the old one too. False where the system
// has no way known to ask, and where it says none.
bool hasExtendedAttributes(const char* path);
