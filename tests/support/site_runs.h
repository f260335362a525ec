// Runs a site run in-process, as `tagpolish -w` would, and catches what it
// writes.
#pragma once

#include <string>
#include <vector>

#include "driver/site/site_run.h"
#include "platform/file_ops.h"

namespace tagpolish::test {

// What a run wrote, and its status.
struct Ran {
    std::string out, err;
    int status;
};

// Runs over names in folder dir (the names as given on the command line,
// relative to it) with settings and the option flags as they are set.
Ran run_site(const std::string& dir, std::vector<std::string> names, const RunSettings& settings,
             FileOps& ops);

}  // namespace tagpolish::test
