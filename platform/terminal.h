// Whether the run's messages go to a person at a terminal, and how wide
// it is: the status line of a site run is drawn only there, to its width.
#pragma once

#include <cstddef>

namespace tagpolish {

bool messages_to_terminal();

// The columns of the terminal the messages go to; 80 when it cannot be
// told.
std::size_t message_terminal_width();

}  // namespace tagpolish
