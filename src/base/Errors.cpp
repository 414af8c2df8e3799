#include "base/Errors.h"

namespace qm {

void RethrowSigned(std::string_view onText, std::string_view onOther) {
    try {
        throw;
    } catch (const ErrorText& e) {
        std::string text;
        text.reserve(onText.size() + e.text.size());
        text.append(onText).append(e.text);
        throw ErrorText{std::move(text), e.goal};
    } catch (...) {
        throw ErrorText{std::string(onOther)};
    }
}

void RethrowReplaced(std::string_view message) { throw ErrorText{std::string(message)}; }

}  // namespace qm
