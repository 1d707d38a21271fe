#pragma once

namespace qs {

// Puts /dev/null, opened read-only, where descriptor 0, 1 or 2 is closed: otherwise the next
// descriptor the launcher opens would take its number, and the report would be written into
// it. A write to a closed output still fails, with "Bad file descriptor".
void occupy_closed_standard_streams();

}  // namespace qs
