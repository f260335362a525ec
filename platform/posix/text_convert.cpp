#include "platform/text_convert.h"

#include <iconv.h>

#include <cstring>

namespace tagpolish {
namespace {

const iconv_t no_converter = reinterpret_cast<iconv_t>(-1);

}  // namespace

SjisToUtf8::SjisToUtf8() : state_(iconv_open("UTF-8", "CP932")) {}

SjisToUtf8::~SjisToUtf8() {
    if (state_ != no_converter) iconv_close(state_);
}

std::size_t SjisToUtf8::convert(std::string_view ch, char* out) {
    if (state_ == no_converter || ch.empty() || ch.size() > 2) return 0;
    char in[2];
    std::memcpy(in, ch.data(), ch.size());
    char* ip = in;
    std::size_t in_left = ch.size();
    char* op = out;
    std::size_t out_left = sjis_utf8_growth * ch.size();
    const std::size_t done = iconv(state_, &ip, &in_left, &op, &out_left);
    iconv(state_, nullptr, nullptr, nullptr, nullptr);
    if (done == static_cast<std::size_t>(-1) || in_left != 0) return 0;
    return static_cast<std::size_t>(op - out);
}

}  // namespace tagpolish
