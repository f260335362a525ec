// Random Shift_JIS pages made of everything the walk's checks look at:
// Japanese text, tags and attributes the edits look for, quoted and bare
// values, comments, script, style and raw blocks, lead bytes before bytes
// that matter, mixed line ends and, on some pages, bracket errors.
#pragma once

#include <memory>
#include <string>

namespace tagpolish::test {

// Writes random pages from a fixed seed.
class PageMaker {
  public:
    explicit PageMaker(unsigned seed);
    ~PageMaker();

    // A page of some lines, one of them tens of kilobytes long when asked.
    std::string page(bool long_line);

  private:
    class Writer;
    std::unique_ptr<Writer> writer_;
};

}  // namespace tagpolish::test
