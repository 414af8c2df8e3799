#pragma once
// The two kinds of error that travel through the system, and the chaining of
// signature lines onto a text error on its way to the top level.
//
// A text error is built from the inside out: the innermost operation throws
// its message, and every enclosing operation that signs its body rethrows it
// with its own signature line in front. The finished text reads from the
// outermost operation inward and ends with the innermost message.
//
// An operation signs its body with a function try-block, so the body reads as
// plain code and the fast path costs nothing:
//
//     void NodeManager::Action() try {
//         ...
//     } catch (...) {
//         RethrowSigned("NodeManager::Action; \n");
//     }

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// A message error: the text that ends up in the error log.
struct ErrorText {
    std::string text;
    // Set by the goal test that raises "GOAL!\n" and kept through every
    // signature line: the run ended because a node reached the goal.
    bool goal = false;
    // Set when a step was cut short because the user is quitting: not a
    // fault, and not worth a log.
    bool interrupted = false;
    // The id of the node that reached the goal (with `goal`), or -1.
    std::int32_t goalNode = -1;
    // What a person reads beside the logged text: the fault in plain words,
    // where it is and what may fix it (one line, no line end). Never logged.
    std::string hint{};
};

// An error code (E_FAIL and friends) raised by graphics start-up.
struct ErrorCode {
    std::int32_t code;
};

inline constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);

// Call only inside a catch clause. A text error in flight is rethrown with
// `onText` in front; anything else becomes the text `onOther` alone.
[[noreturn]] void RethrowSigned(std::string_view onText, std::string_view onOther);

// The common case: the same signature line for both.
[[noreturn]] inline void RethrowSigned(std::string_view line) { RethrowSigned(line, line); }

// Call only inside a catch clause: whatever is in flight becomes one fixed
// message (the low-level operations that hide what went wrong inside them).
[[noreturn]] void RethrowReplaced(std::string_view message);

}  // namespace qm
