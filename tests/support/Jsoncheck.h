#pragma once
// Checks of what a program prints for other programs to read: strict UTF-8 (shortest
// forms, no surrogates) and one complete JSON value by the grammar of RFC 8259.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace jsoncheck {

inline bool ValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : (lead & 0xF0) == 0xE0        ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
        if (length == 0 || text.size() - i < length) {
            return false;
        }
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
            (length == 4 && (c < 0x10000 || c > 0x10FFFF))) {
            return false;
        }
        i += length;
    }
    return true;
}

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}
    bool Document() {
        Space();
        if (!Value()) {
            return false;
        }
        Space();
        return at_ == text_.size();
    }

private:
    bool Value() {
        if (at_ >= text_.size() || ++depth_ > 64) {
            return false;
        }
        bool ok = false;
        switch (text_[at_]) {
            case '{':
                ok = Members('}', true);
                break;
            case '[':
                ok = Members(']', false);
                break;
            case '"':
                ok = String();
                break;
            case 't':
                ok = Word("true");
                break;
            case 'f':
                ok = Word("false");
                break;
            case 'n':
                ok = Word("null");
                break;
            default:
                ok = Number();
        }
        --depth_;
        return ok;
    }
    bool Members(char close, bool object) {
        ++at_;
        Space();
        if (Take(close)) {
            return true;
        }
        do {
            Space();
            if (object) {
                if (!String()) {
                    return false;
                }
                Space();
                if (!Take(':')) {
                    return false;
                }
                Space();
            }
            if (!Value()) {
                return false;
            }
            Space();
        } while (Take(','));
        return Take(close);
    }
    bool String() {
        if (!Take('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const auto c = static_cast<uint8_t>(text_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                if (at_ >= text_.size()) {
                    return false;
                }
                const char e = text_[at_++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k) {
                        if (at_ >= text_.size() ||
                            !std::isxdigit(static_cast<uint8_t>(text_[at_++]))) {
                            return false;
                        }
                    }
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool Number() {
        Take('-');
        const size_t first = at_;
        if (!Digits() || (text_[first] == '0' && at_ - first > 1)) {
            return false;  // none, or a leading zero
        }
        if (Take('.') && !Digits()) {
            return false;
        }
        if (Take('e') || Take('E')) {
            if (!Take('+')) {
                Take('-');
            }
            return Digits();
        }
        return true;
    }
    bool Digits() {
        const size_t start = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            ++at_;
        }
        return at_ > start;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }
    bool Take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void Space() {
        while (at_ < text_.size() &&
               std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
    }

    std::string_view text_;
    size_t at_ = 0;
    int depth_ = 0;
};

// One JSON value, nothing but blanks around it, in valid UTF-8.
inline bool ValidJson(std::string_view text) {
    return ValidUtf8(text) && JsonReader(text).Document();
}

}  // namespace jsoncheck
