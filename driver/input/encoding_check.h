// The encoding check: signs that an input's text is not Shift_JIS, looked
// for while the input is read.
#pragma once

#include <string>
#include <string_view>

namespace tagpolish {

// What the text of an input looks like.
enum class Encoding {
    shift_jis,  // nothing says otherwise
    utf8,       // a UTF-8 byte-order mark; or high bytes that are all
                // well-formed UTF-8, with a character of three or four
                // bytes or no meta tag that declares Shift_JIS
    iso2022jp,  // an ISO-2022-JP escape (ESC "$" or ESC "(")
    declared,   // high bytes, and a meta tag that declares another charset
};

// The check's finding, with the declared charset name for `declared`.
struct EncodingVerdict {
    Encoding kind = Encoding::shift_jis;
    std::string charset;
};

// Looks at an input's text chunk by chunk as it is read. Everything it
// tracks carries over from one chunk to the next, so a UTF-8 character, an
// escape or a meta tag may straddle chunks and lines.
class EncodingCheck {
  public:
    // The next bytes of the text (up to the end-of-file mark, if any).
    void feed(std::string_view text);
    // What the text fed so far looks like.
    EncodingVerdict verdict() const;

  private:
    void check_utf8(std::string_view text);
    void find_escape(std::string_view text);
    void find_meta(std::string_view text);
    void meta_byte(unsigned char b);
    void end_name();
    bool metas_done() const { return !declared_.empty() && sjis_declared_; }

    int bom_seen_ = 0;   // bytes of a UTF-8 byte-order mark at the start; -1: none
    bool high_ = false;  // a byte from 0x80 up was seen

    bool utf8_ok_ = true;     // every high byte so far is in a well-formed sequence
    bool utf8_long_ = false;  // a sequence of three or four bytes was seen
    int utf8_need_ = 0;       // continuation bytes still to come
    unsigned char utf8_lo_ = 0x80, utf8_hi_ = 0xBF;  // range of the next one

    bool escape_ = false;  // the last byte was ESC
    bool iso2022jp_ = false;

    // Where the meta tag reading stands: looking for "<meta", reading it,
    // inside the tag, after "charset" (blanks, then "="), after its "="
    // (blanks, one quote, blanks), in the name.
    enum class Meta { seek, name, tag, equals, value, charset } meta_ = Meta::seek;
    int matched_ = 0;      // bytes of "<meta" or "charset" matched so far
    bool quoted_ = false;  // the value has had its quote
    std::string name_;     // the charset name being read (its first bytes)
    std::size_t name_len_ = 0;
    std::string declared_;        // the first declared charset that is not Shift_JIS
    bool sjis_declared_ = false;  // a meta tag declares Shift_JIS
};

// When the text is not Shift_JIS, reports it for the input name and returns
// -1; returns 0 for Shift_JIS text.
int refuse_encoding(const char* name, const EncodingVerdict& verdict);

}  // namespace tagpolish
