#include "base/Errors.h"

namespace qm {

void RethrowSigned(std::string_view onText, std::string_view onOther) {
    try {
        throw;
    } catch (const ErrorText& e) {
        ErrorText chained = e;  // the flags travel with the text
        chained.text.reserve(onText.size() + e.text.size());
        chained.text.assign(onText).append(e.text);
        throw chained;
    } catch (...) {
        throw ErrorText{std::string(onOther)};
    }
}

void RethrowReplaced(std::string_view message) { throw ErrorText{std::string(message)}; }

}  // namespace qm
