// tagpolish: edits the source of Shift_JIS HTML documents. The system's
// entry point (platform/*/entry.cpp) hands the command line over here.
#include <cstdlib>

#include "driver/command_line/options.h"
#include "driver/command_line/startup.h"
#include "driver/file_loop.h"
#include "lib/mem.h"
#include "platform/entry.h"
#include "platform/run_stop.h"

int tagpolish::program_main(int argc, char** argv) {
    if (!tagpolish::take_standard_descriptors()) return 1;
    tagpolish::install_memory_handler();
    int first = tagpolish::parse_options(argc, argv);
    tagpolish::start_stop_watch();
    std::exit(tagpolish::run_files(first, argc, argv));
}
