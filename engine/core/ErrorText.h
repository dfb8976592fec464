#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Texts of the program's error codes and the composition of the error box.
// Every code has an English and a Japanese text (UTF-8); 0 and -2 have none;
// a code missing from the table reads "Other Errors".
namespace trelvan {

struct ErrorTextEntry {
    int32_t code;
    const char* english;
    const char* japanese;
};

// The whole table, in ascending code order.
const ErrorTextEntry* ErrorTable();
std::size_t ErrorTableSize();

// The text of a code in the chosen language.
std::string GetErrorTextIn(int32_t code, bool japanese);
// The text of a code in the language of IsJapaneseSystem().
std::string GetErrorText(int32_t code);

// The caption of the error box: "エラーNo." and the code as a signed decimal of
// at least four characters, zero-padded (501 -> 0501, -3 -> -003).
std::string FormatErrorCaption(int32_t code);

// What the error box shows for a code and an optional detail. `show` is false
// for the codes without a text (0 and -2); otherwise the text is the detail, a
// line feed and the code's text, or the code's text alone without a detail.
struct ErrorMessage {
    bool show = false;
    std::string caption;
    std::string text;
};
ErrorMessage ComposeErrorMessage(int32_t code, const std::string& detail = {});

}  // namespace trelvan
