// Every text kvrdiag shows, in English and in Russian, from the one table in texts.def: the
// report's lines and advice, its heading and summary, and --help. A text's values are numbered
// placeholders (%1 ... %9) filled in by Say, so that each language puts them where its grammar
// wants them. Plain C++ (built and tested natively).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>

namespace kavrel::diag {

enum class Language { English, Russian };

enum class TextId {
#define KVR_TEXT(id, english, russian) id,
#include "tools/kvrdiag/texts.def"
#undef KVR_TEXT
};

struct TextRow {
    TextId id;
    const wchar_t* english;
    const wchar_t* russian;
};

// The table, in TextId's order.
extern const TextRow kTexts[];
extern const std::size_t kTextCount;

// "%1 needs a value" filled with {"--out"}; "%%" is a percent sign, a placeholder without a
// value stays as it is.
std::wstring Fill(const wchar_t* pattern, std::initializer_list<std::wstring> values);
std::wstring Say(Language language, TextId id, std::initializer_list<std::wstring> values = {});

// "ru" and "en", as --lang takes them.
std::optional<Language> LanguageNamed(const std::string& name);

}  // namespace kavrel::diag
