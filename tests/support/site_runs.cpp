#include "support/site_runs.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tagpolish::test {

Ran run_site(const std::string& dir, std::vector<std::string> names, const RunSettings& settings,
             FileOps& ops) {
    namespace fs = std::filesystem;
    const fs::path back = fs::current_path();
    fs::current_path(dir);
    std::vector<char*> argv;
    for (std::string& n : names) argv.push_back(n.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = 0;
    {
        SiteRun run(argv.data(), static_cast<int>(argv.size()), settings, ops);
        status = run.go();
    }
    Ran ran{testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr(), status};
    fs::current_path(back);
    return ran;
}

}  // namespace tagpolish::test
