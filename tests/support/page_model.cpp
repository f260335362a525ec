#include "support/page_model.h"

#include <algorithm>
#include <cctype>

namespace tagpolish::test {
namespace {

bool same_letters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string small_letters(std::string_view s) {
    std::string small(s);
    std::transform(small.begin(), small.end(), small.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return small;
}

// The model's own: the blanks a browser reads inside a tag.
bool is_browser_blank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool is_lead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// What follows the name of a tag that opens a block, and of a pre end tag.
constexpr std::string_view opener_ends = " \t\r\n/>";
constexpr std::string_view pre_closer_ends = " \t\r\n>";

// Where the model stands inside a tag.
enum class In {
    name,
    before_attr,
    attr,
    after_attr,
    before_value,
    value,
    quoted,
    declaration,
    declaration_quoted
};

class Model {
  public:
    Model(std::string_view s, PageRegions& out) : s_(s), out_(out) {}

    void read() {
        while (k_ < s_.size()) step(static_cast<unsigned char>(s_[k_]));
        if (script_ || !raw_.empty()) out_.blocks.push_back(s_.substr(body_));
    }

  private:
    bool at(std::string_view word) const { return same_letters(s_.substr(k_, word.size()), word); }
    bool named(std::string_view name, std::string_view ends) const {
        return at(name) && k_ + name.size() < s_.size() &&
               ends.find(s_[k_ + name.size()]) != std::string_view::npos;
    }

    void step(unsigned char c) {
        if (!raw_.empty()) {
            if (raw_ != "plaintext" && named("</" + raw_, opener_ends))
                close_block();
            else
                ++k_;
        } else if (!script_ && at("<!--")) {
            comment_ = true, k_ += 4;
        } else if (at("-->")) {
            comment_ = false, k_ += 3;
        } else if (at("<script>")) {
            k_ += 8;
            if (!script_) script_ = true, body_ = k_;
        } else if (at("</script>")) {
            if (script_) close_block();
            k_ += 9;
        } else if (comment_ || script_) {
            ++k_;
        } else if (tag_) {
            tag_byte(c);
        } else {
            text_byte(c);
        }
    }

    void close_block() {
        out_.blocks.push_back(s_.substr(body_, k_ - body_));
        script_ = false, raw_.clear();
    }

    bool opens_tag() const {
        if (k_ + 1 >= s_.size()) return false;
        const auto n = static_cast<unsigned char>(s_[k_ + 1]);
        return std::isalpha(n) || n == '/' || n == '!' || n == '?';
    }

    void text_byte(unsigned char c) {
        if (is_lead(c) && k_ + 1 < s_.size()) {
            out_.text.append(s_.substr(k_, 2));
            k_ += 2;
        } else if (c == '<' && opens_tag()) {
            open_tag();
        } else {
            if (c >= 0xA1 && c <= 0xDF && out_.first_text_kana == std::string_view::npos)
                out_.first_text_kana = k_;
            if (c != '\r' && c != '\n') out_.text.push_back(static_cast<char>(c));
            ++k_;
        }
    }

    void open_tag() {
        tag_ = true;
        in_ = s_[k_ + 1] == '!' ? In::declaration : In::name;
        opens_.clear();
        for (const char* block : {"script", "style", "textarea", "xmp", "plaintext"})
            if (named(std::string("<") + block, opener_ends)) opens_ = block;
        if (!in_pre_ && named("<pre", opener_ends)) in_pre_ = opens_pre_ = true;
        if (in_pre_ && named("</pre", pre_closer_ends)) {
            out_.pre.push_back(s_.substr(pre_at_, k_ - pre_at_));
            in_pre_ = false;
        }
        k_ += s_[k_ + 1] == '/' ? 2 : 1;
        const std::size_t end = std::min(s_.find_first_of(" \t\r\n\f/>", k_), s_.size());
        tag_name_ = small_letters(s_.substr(k_, end - k_));
    }

    void close_tag() {
        end_value();
        tag_ = false;
        ++k_;
        if (opens_ == "script") {
            script_ = true;
        } else {
            raw_ = opens_;
        }
        body_ = k_;
        if (opens_pre_) pre_at_ = k_, opens_pre_ = false;
    }

    void end_name() { name_ = std::string(s_.substr(name_at_, k_ - name_at_)); }
    void end_value() {
        if (in_ != In::value && in_ != In::quoted) return;
        out_.values.push_back(
            {tag_name_, small_letters(name_), value_at_, k_ - value_at_, in_ == In::quoted});
    }

    void tag_byte(unsigned char c) {
        if (in_ == In::quoted || in_ == In::declaration_quoted) {
            if (c == quote_) {
                end_value();
                in_ = in_ == In::quoted ? In::before_attr : In::declaration;
            }
            ++k_;
            return;
        }
        if (c == '>') return close_tag();
        if (c == '<' && opens_tag()) return open_tag();
        const std::size_t size = is_lead(c) && k_ + 1 < s_.size() ? 2 : 1;
        if (in_ == In::declaration) {
            if (c == '"' || c == '\'') in_ = In::declaration_quoted, quote_ = static_cast<char>(c);
        } else {
            tokenize(c);
        }
        k_ += size;
    }

    // One character of a tag outside quoted values, as a browser's
    // tokenizer splits a start tag.
    void tokenize(unsigned char c) {
        const bool blank = is_browser_blank(c);
        switch (in_) {
            case In::name:
                if (blank || c == '/') in_ = In::before_attr;
                break;
            case In::before_attr:
                if (!blank && c != '/') in_ = In::attr, name_at_ = k_;
                break;
            case In::attr:
            case In::after_attr:
                if (in_ == In::attr && (blank || c == '/' || c == '=')) end_name();
                if (c == '=') {
                    in_ = In::before_value;
                } else if (c == '/') {
                    in_ = In::before_attr;
                } else if (blank) {
                    in_ = In::after_attr;
                } else if (in_ == In::after_attr) {
                    in_ = In::attr, name_at_ = k_;
                }
                break;
            case In::before_value:
                if (c == '"' || c == '\'') {
                    in_ = In::quoted, quote_ = static_cast<char>(c), value_at_ = k_ + 1;
                } else if (!blank) {
                    in_ = In::value, value_at_ = k_;
                }
                break;
            case In::value:
                if (blank) end_value(), in_ = In::before_attr;
                break;
            default:
                break;
        }
    }

    std::string_view s_;
    PageRegions& out_;
    std::size_t k_ = 0, body_ = 0, pre_at_ = 0, name_at_ = 0, value_at_ = 0;
    bool comment_ = false, script_ = false, tag_ = false, in_pre_ = false, opens_pre_ = false;
    std::string raw_, opens_, name_, tag_name_;
    In in_ = In::name;
    char quote_ = 0;
};

}  // namespace

PageRegions::PageRegions(std::string_view page) {
    Model(page, *this).read();
}

}  // namespace tagpolish::test
