// What a walk of -r meets, for the tests of the walk.
#pragma once

#include <string>
#include <vector>

#include "driver/site/site_walk.h"
#include "platform/file_ops.h"

namespace tagpolish::test {

// What the walk of folder top (shown as "top") meets under rules, through
// ops: a page by its name, a note by what it says. The top is opened as the
// program opens it, past the plan of ops.
std::vector<std::string> walk(const std::string& top, const WalkRules& rules, FileOps& ops);

}  // namespace tagpolish::test
