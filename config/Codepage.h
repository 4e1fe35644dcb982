#pragma once
// Texts are held as UTF-8; what the program stores or sends as text (settings file
// fields, the modem initialisation string, modem commands) is Windows-1251, one byte
// per character.
#include <cstddef>
#include <string>
#include <string_view>

// Every byte has a form: 0x98, which Windows-1251 leaves unassigned, becomes U+0098,
// so whatever a file holds comes back unchanged through ToCp1251.
std::string ToUtf8(std::string_view cp1251);
// False, with cp1251 untouched, when the text is not valid UTF-8 or holds a character
// that Windows-1251 cannot store.
bool ToCp1251(std::string_view utf8, std::string& cp1251);

// A zero-terminated Windows-1251 text in a fixed field. A text may fill the whole field
// and then has no terminator: it is read up to the field's end and never beyond.
std::string FieldText(const char* field, size_t width);
// Stores the text and zero-fills the rest of the field. False, with the field untouched,
// when the text has no Windows-1251 form or needs more than width bytes.
bool SetFieldText(char* field, size_t width, std::string_view utf8);

// Decodes the character at text[pos] and moves pos past it. False, pos unmoved, for
// anything but the shortest form of a Unicode scalar value.
bool NextCodePoint(std::string_view text, size_t& pos, char32_t& c);
// C0 controls, DEL and the C1 controls U+0080..U+009F: what drives a terminal.
bool IsControlCharacter(char32_t c);

// A JSON string literal of a text, valid UTF-8 whatever the text holds: a byte that
// begins no UTF-8 character becomes U+FFFD, control characters and the line and
// paragraph separators are written as \uXXXX.
std::string JsonString(const std::string& text);
