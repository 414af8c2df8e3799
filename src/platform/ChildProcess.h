#pragma once
// Runs a piece of work in a child process and takes back its result, so that
// a library that crashes on a hostile file cannot take the program with it.

#include <functional>
#include <optional>
#include <string>

namespace qm {

// Forks, runs `work` in the child and returns the bytes it returned. Nothing
// when the child did not end normally (it crashed, or `work` threw); `why`
// then says how it ended.
std::optional<std::string> RunInChild(const std::function<std::string()>& work, std::string* why);

}  // namespace qm
