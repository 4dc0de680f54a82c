// The product's way of writing a file version: 2.5.0.0 reads "2.05", 1.2.3.4 reads "1.02.3.4".
#pragma once

#include <cstddef>

// Writes major, "." and the minor in at least two digits; then ".build.revision" when the
// revision is not 0, or ".build" when only the build is not 0. Cut to `size`; returns `out`.
char *FormatFileVersion(unsigned major, unsigned minor, unsigned build, unsigned revision,
                        char *out, std::size_t size);
