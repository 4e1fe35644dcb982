#include "config/Codepage.h"

#include <cstdio>

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Code points of the bytes 0x80..0xBF; 0xC0..0xFF are А..я, U+0410..U+044F, in order.
constexpr std::array<char16_t, 64> UpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  //
};
constexpr char32_t CyrillicA = 0x0410;

char32_t CodePointOf(uint8_t byte) {
    if (byte < 0x80) {
        return byte;
    }
    if (byte < 0xC0) {
        return UpperHalf[byte - 0x80u];
    }
    return CyrillicA + (byte - 0xC0u);
}

// -1 for a character Windows-1251 cannot store.
int ByteOf(char32_t c) {
    if (c < 0x80) {
        return static_cast<int>(c);
    }
    if (c >= CyrillicA && c < CyrillicA + 64) {
        return static_cast<int>(0xC0 + (c - CyrillicA));
    }
    for (size_t i = 0; i < UpperHalf.size(); ++i) {
        if (UpperHalf[i] == c) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool NextCodePoint(std::string_view text, size_t& pos, char32_t& c) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        c = lead;
        ++pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1Fu;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0Fu;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07u;
        least = 0x10000;
    } else {
        return false;
    }
    if (text.size() - pos < length) {
        return false;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<uint8_t>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return false;
    }
    pos += length;
    return true;
}

bool IsControlCharacter(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

std::string ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char byte : cp1251) {
        AppendUtf8(out, CodePointOf(static_cast<uint8_t>(byte)));
    }
    return out;
}

bool ToCp1251(std::string_view utf8, std::string& cp1251) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = 0;
        if (!NextCodePoint(utf8, pos, c)) {
            return false;
        }
        const int byte = ByteOf(c);
        if (byte < 0) {
            return false;
        }
        out += static_cast<char>(byte);
    }
    cp1251 = std::move(out);
    return true;
}

std::string FieldText(const char* field, size_t width) {
    const void* end = std::memchr(field, 0, width);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - field) : width;
    return ToUtf8(std::string_view(field, length));
}

bool SetFieldText(char* field, size_t width, std::string_view utf8) {
    std::string stored;
    // A zero inside would end the text early when it is read back.
    if (!ToCp1251(utf8, stored) || stored.size() > width ||
        stored.find('\0') != std::string::npos) {
        return false;
    }
    std::memcpy(field, stored.data(), stored.size());
    std::memset(field + stored.size(), 0, width - stored.size());
    return true;
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t at = pos;
        char32_t c = 0;
        if (!NextCodePoint(text, pos, c)) {
            json += "\xEF\xBF\xBD";  // U+FFFD
            pos = at + 1;
        } else if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (IsControlCharacter(c) || c == 0x2028 || c == 0x2029) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            json += escape;
        } else {
            json.append(text, at, pos - at);
        }
    }
    return json + "\"";
}
