#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/Errors.h"

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

// The same, for an action that must throw: a test failure and a marker text when it throws none.
template <class Body>
std::string ErrorTextOf(Body&& body) {
    try {
        body();
    } catch (const ErrorText& e) {
        return e.text;
    }
    ADD_FAILURE() << "no ErrorText was thrown";
    return "<no error>";
}

}  // namespace qm::test
