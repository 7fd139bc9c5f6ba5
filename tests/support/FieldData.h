// The field data a real array holds, as one simulator seed for the tests
// that play whole jobs on it (end to end, and the differential test): NFS
// option lists with commas, CIFS paths with commas, braces and accents, a
// comment with a comma, hidden shares without Everyone, a long share name, a
// long export name on a long file-system label, several shares on one file
// system, and a file system of another virtual server that is not mounted.
#pragma once

#include <string>

namespace testsupport {

// The array's name, user and password in the seed.
extern const char kFieldArray[];
extern const char kFieldUser[];
extern const char kFieldPassword[];
// A 47-character file-system label, with a native path and a long export on it.
extern const char kFieldLongLabel[];
// A 76-character CIFS share name (the array allows 80): the copies map
// derives from it are longer than 80 and get the digest form.
extern const char kFieldLongShare[];
// A 92-character export name: exports have no 80-character limit.
extern const char kFieldLongExport[];

// The seed, as hnas-arraysim reads it: {"arrays": [...]}.
std::string fieldDataSeed();

}  // namespace testsupport
