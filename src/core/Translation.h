// The program's texts in the user's language, for the folders that are built without Qt. The
// application installs a translator at start; until then (and in the plain tests) every text
// comes out in English, as written at the call.
//
// Write a text as core::translate("toppeek::checker::Checker", "Could not read %1.") with
// string literals for the context and the text, so that lupdate finds it; fill its %1..%9
// afterwards with core::filled. A text with a count passes it as n and writes %n where it goes.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace toppeek::core {

// Gives text of context in the user's language; n is the count of a plural text, or -1. Must
// replace %n by n as translate() does without one.
using Translator = std::string (*)(const char* context, const char* text, const char* comment,
                                   int n);

// Installs translator for every later translate(); null goes back to English.
void setTranslator(Translator translator);

// text in the user's language, with %n replaced by n when n is not -1.
std::string translate(const char* context, const char* text, const char* comment = nullptr,
                      int n = -1);

// text with each of %1..%9 replaced by the argument of that number, in one pass, so that a '%' in
// an argument is never taken for a placeholder. A placeholder without an argument stays as it is.
std::string filled(std::string_view text, std::initializer_list<std::string_view> arguments);

} // namespace toppeek::core
