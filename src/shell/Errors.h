#pragma once
// The two kinds of error that travel through the system, and the one mechanism
// that chains signature lines onto a text error on its way to the top level.
//
// A text error is built from the inside out: the innermost operation throws its
// message, and every enclosing operation that wraps its body with Signed()
// rethrows it with its own signature line in front. The finished text reads
// from the outermost operation inward and ends with the innermost message.

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

namespace qm {

// A message error: the text that ends up in the error log.
struct ErrorText {
    std::string text;
};

// An error code (E_FAIL and friends) raised by graphics start-up.
struct ErrorCode {
    std::int32_t code;
};

inline constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);

namespace detail {
// A signature line is either a fixed text or a callable that formats one; the
// callable runs only when an error passes, so the hot path formats nothing.
template <class Line>
std::string LineText(Line&& line) {
    if constexpr (std::is_invocable_v<Line>) {
        return std::string(line());
    } else {
        return std::string(line);
    }
}
}  // namespace detail

// Runs body(). A text error is rethrown with onText in front; any other
// exception becomes the text onOther alone.
template <class OnText, class OnOther, class Body>
decltype(auto) Signed(OnText&& onText, OnOther&& onOther, Body&& body) {
    try {
        return body();
    } catch (const ErrorText& e) {
        throw ErrorText{detail::LineText(onText) + e.text};
    } catch (...) {
        throw ErrorText{detail::LineText(onOther)};
    }
}

// The common case: the same signature line for both.
template <class Line, class Body>
decltype(auto) Signed(Line&& line, Body&& body) {
    return Signed(line, line, std::forward<Body>(body));
}

// Low-level operations that turn any exception into one fixed message.
template <class Body>
decltype(auto) Replaced(const char* message, Body&& body) {
    try {
        return body();
    } catch (...) {
        throw ErrorText{message};
    }
}

}  // namespace qm
