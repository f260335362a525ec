// What the process may use: the descriptors it may hold open, the
// processors it may run on; and its number.
#pragma once

namespace tagpolish {

// How many descriptors the process may hold open, after raising its limit
// as far as the system lets it (to at most 2^20 of them) when raise is
// set; 0 when there is no limit, -1 when it cannot be told.
long open_file_limit(bool raise = false);

// The processors this process may run on; at least 1.
int processor_count();

// The system's number for this process.
long process_id();

}  // namespace tagpolish
