#pragma once

#include <string>

#include "shell/Errors.h"

namespace qm::test {

// The text of the ErrorText that action throws, or "" when it throws none.
template <class Action>
std::string ErrorOf(Action action) {
    try {
        action();
    } catch (const ErrorText& e) {
        return e.text;
    }
    return "";
}

}  // namespace qm::test
