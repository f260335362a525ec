#include "driver/command_line/startup.h"

#include "lib/diag.h"
#include "platform/standard_streams.h"

namespace tagpolish {

bool take_standard_descriptors() {
    const int error = take_standard_streams();
    if (error == 0) return true;
    errmsg_why(error, "%s: cannot open\n", null_device);
    return false;
}

}  // namespace tagpolish
