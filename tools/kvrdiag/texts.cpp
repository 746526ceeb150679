#include "tools/kvrdiag/texts.h"

namespace kavrel::diag {

const TextRow kTexts[] = {
#define KVR_TEXT(id, english, russian) {TextId::id, english, russian},
#include "tools/kvrdiag/texts.def"
#undef KVR_TEXT
};
const std::size_t kTextCount = sizeof kTexts / sizeof kTexts[0];

std::wstring Fill(const wchar_t* pattern, std::initializer_list<std::wstring> values) {
    std::wstring text;
    for (const wchar_t* at = pattern; *at; ++at) {
        if (at[0] == L'%' && at[1] == L'%') {
            text += L'%';
            ++at;
        } else if (at[0] == L'%' && at[1] >= L'1' && at[1] <= L'9' &&
                   static_cast<std::size_t>(at[1] - L'1') < values.size()) {
            text += values.begin()[at[1] - L'1'];
            ++at;
        } else {
            text += *at;
        }
    }
    return text;
}

std::wstring Say(Language language, TextId id, std::initializer_list<std::wstring> values) {
    const TextRow& row = kTexts[static_cast<std::size_t>(id)];
    return Fill(language == Language::Russian ? row.russian : row.english, values);
}

std::optional<Language> LanguageNamed(const std::string& name) {
    if (name == "ru") return Language::Russian;
    if (name == "en") return Language::English;
    return std::nullopt;
}

}  // namespace kavrel::diag
